# shellcheck shell=bash
# Sourced by the benchmark scripts, which define die().
# Starts the stand-in $1 on the fixture $2 on a free port, its output in the log $3, and waits
# until it listens; sets standin_pid and port.
start_standin() {
  local standin=$1 fixture=$2 log=$3 i
  "$standin" --fixture "$fixture" --port 0 >"$log" 2>&1 &
  standin_pid=$!
  port=
  for ((i = 0; i < 1200; i++)); do
    port=$(sed -n '1s/^listening on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$log")
    [[ -n $port ]] && return 0
    kill -0 "$standin_pid" 2>/dev/null || { cat "$log" >&2; die "the stand-in stopped"; }
    sleep 0.1
  done
  die "the stand-in did not report its port"
}
