# Helpers shared by the test scripts (tests/install, tests/desktop); sourced.

# wait_for <seconds> <command...>: runs the command every 50 ms until it
# succeeds (status 0) or the seconds have passed (status 1).
wait_for() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS >= deadline)) && return 1
    sleep 0.05
  done
}
