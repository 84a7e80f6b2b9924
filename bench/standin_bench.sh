#!/usr/bin/env bash
# Rows a second that the stand-in serves for a generated 10-column table (1,000,000 rows),
# with a client that only drains the bytes. Not a test: prints the figures.
# Usage: bash bench/standin_bench.sh   (builds a Release stand-in into build-bench-standin/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build-bench-standin
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target tds-standin -j 2 >"$build/bench-build.log" || { cat "$build/bench-build.log"; exit 1; }

work=$(mktemp -d /tmp/velmora-standin-bench.XXXXXX)
"$build/tools/tds-standin/tds-standin" --fixture bench/standin_bench.json --port 0 >"$work/out" &
standin=$!
trap 'kill $standin 2>/dev/null || true; wait $standin 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  grep -q '^listening on' "$work/out" 2>/dev/null && break
  sleep 0.1
done
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/out")
[[ -n $port ]] || { echo "the stand-in did not start" >&2; exit 1; }

for size in 4096 32767; do
  /usr/bin/python3 bench/standin_bench.py "$port" Rows1M 1000000 "$size"
done
