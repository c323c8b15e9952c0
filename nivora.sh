#!/usr/bin/env bash
# Installs what is missing, makes a release build and starts the game.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
install_deps
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DNIVORA_TESTS=OFF -DNIVORA_BENCH=OFF -DNIVORA_SCORE_SERVER=OFF >/dev/null
cmake --build build --target nivora -j"$(nproc)"
cd build/game
exec ./nivora "$@"
