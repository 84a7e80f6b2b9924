#!/usr/bin/env bash
# Peak resident memory of the ODBC data access layer while it streams 10,000 and 1,000,000 rows
# of the same columns, once with bounded columns only (block fetches) and once with long
# columns (piecewise reads). The two figures of each pair must differ by less than 10%.
# Then the peak resident memory of velmora-export writing 200 rows of 1 MB each, at 1 and at
# 1,000 rows a statement: a statement takes no more rows once it passes 1 MiB, so the second
# figure must stay within 25% of the first (without the cap it held all 200 rows, 643 MB).
# Usage: bash bench/odbc_memory.sh   (builds Release into build-bench-odbc/)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=$repo/build-bench-odbc

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_WERROR=OFF >/dev/null
cmake --build "$build" --target velmora_server tds-standin velmora-export -j 2 >/dev/null
program=$build/odbc_stream_memory
c++ -std=c++20 -O2 -Wall -Wextra -I"$repo/src" bench/odbc_stream_memory.cpp \
  "$build/src/server/libvelmora_server.a" "$build/src/text/libvelmora_text.a" \
  $(pkg-config --libs odbc Qt6Core) -o "$program"

work=$(mktemp -d /tmp/velmora-odbc-bench.XXXXXX)
standins=()
trap 'kill "${standins[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
# Starts a stand-in on FIXTURE, its first output line in OUT; sets port to its port.
start_standin() {
  "$build/tools/tds-standin/tds-standin" --fixture "$1" --port 0 >"$2" &
  standins+=($!)
  for _ in $(seq 300); do
    grep -q '^listening on' "$2" 2>/dev/null && break
    sleep 0.1
  done
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$2" | head -n 1)
  [[ -n $port ]] || { echo "the stand-in on $1 did not start" >&2; exit 1; }
}
start_standin bench/odbc_memory.json "$work/standin.out"

peak() { "$program" "127.0.0.1,$port" 'Bench#2026' Bench "$1" | tee /dev/stderr | sed 's/.*peak_rss_kb \([0-9]*\).*/\1/'; }
status=0
for kind in Bounded Long; do
  small=$(peak "${kind}10k")
  big=$(peak "${kind}1M")
  percent=$(awk -v s="$small" -v b="$big" 'BEGIN { printf "%.1f", (b - s) * 100 / s }')
  verdict=$(awk -v p="$percent" 'BEGIN { print (p < 10 && p > -10) ? "ok" : "TOO MUCH" }')
  echo "$kind: peak RSS ${small} kB for 10,000 rows, ${big} kB for 1,000,000 rows: ${percent}% ($verdict)"
  [[ $verdict == ok ]] || status=1
done

# The wide rows: a fixture of its own, made here rather than kept in the repository.
python3 - "$work/wide.json" <<'PY'
import json, sys
row = "x" * (1 << 20)
with open(sys.argv[1], "w") as out:
    json.dump({"login": {"user": "sa", "password": "Bench#2026"},
               "databases": [{"name": "Wide", "id": 8, "tables": [
                   {"name": "Wide", "columns": [{"name": "ID", "type": "int", "nullable": False},
                                                {"name": "Memo", "type": "varchar(max)"}],
                    "rows": [[i, row] for i in range(200)]}]}]}, out)
PY
start_standin "$work/wide.json" "$work/wide.out"
wide_port=$port
export_peak() {
  VELMORA_PASSWORD='Bench#2026' /usr/bin/time -f '%M' -o "$work/rss" \
    "$build/tools/velmora-export/velmora-export" --server "127.0.0.1,$wide_port" \
    --database Wide -q -o /dev/null --rows-per-insert "$1"
  cat "$work/rss"
}
single=$(export_peak 1)
batched=$(export_peak 1000)
percent=$(awk -v s="$single" -v b="$batched" 'BEGIN { printf "%.1f", (b - s) * 100 / s }')
verdict=$(awk -v p="$percent" 'BEGIN { print p < 25 ? "ok" : "TOO MUCH" }')
echo "Statement size: peak RSS ${single} kB at 1 row a statement, ${batched} kB at 1,000: ${percent}% ($verdict)"
[[ $verdict == ok ]] || status=1
exit $status
