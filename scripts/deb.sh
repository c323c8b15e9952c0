#!/usr/bin/env bash
# Builds the Debian packages nivora and nivora-scores from a copy of the
# committed and working-tree files (nothing is written into the tree itself),
# then checks them with lintian. The .deb, .buildinfo and .changes files end up
# in build-deb/; usage: scripts/deb.sh [dpkg-buildpackage arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
install_deps --deb

out=$PWD/build-deb
rm -rf "$out"
mkdir -p "$out/nivora"
# The files git knows (tracked, or new and not ignored), as they are now.
git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$out/nivora"
(cd "$out/nivora" && dpkg-buildpackage -us -uc -b "$@")
changes=$(ls "$out"/nivora_*.changes)
echo "lintian $changes:"
status=0
lintian --info "$changes" || status=$?
ls "$out"/*.deb
exit "$status"
