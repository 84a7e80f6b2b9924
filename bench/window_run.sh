#!/usr/bin/env bash
# Times the window's generation run over a generated table: serves the stand-in with the table,
# opens the window offscreen, connects, ticks the table alone and prints the seconds from the
# click of the generate button to the finished progress text.
set -euo pipefail
cd "$(dirname "$0")/.."

rows=300000
build=build
while (($#)); do
  case $1 in
    --rows) rows=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    -h | --help)
      echo "usage: bash bench/window_run.sh [--rows N] [--build DIR]  (default 300000 rows, build/)"
      exit 0 ;;
    *) echo "usage: bash bench/window_run.sh [--rows N] [--build DIR]" >&2; exit 2 ;;
  esac
done
[[ $rows =~ ^[1-9][0-9]*$ ]] || { echo "--rows needs a positive number" >&2; exit 2; }

# shellcheck source=bench/standin_start.sh
source bench/standin_start.sh

die() {
  echo "window_run: $*" >&2
  exit 1
}

cmake --build "$build" --target window_run tds-standin -j2 >/dev/null
standin=$build/tools/tds-standin/tds-standin
driver=$(cd "$build" && pwd)/bench/window_run

work=$(mktemp -d /tmp/velmora-window-run.XXXXXX)
standin_pid=
cleanup() {
  if [[ -n $standin_pid ]]; then
    kill "$standin_pid" 2>/dev/null || true
    wait "$standin_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

sed "s/\"rows\": 1000000/\"rows\": $rows/" bench/fixtures/bench.json >"$work/bench.json"
start_standin "$standin" "$work/bench.json" "$work/standin.log"

bench_locale=${BENCH_LOCALE:-zh_CN.UTF-8}
locale -a 2>/dev/null | grep -qix "${bench_locale/UTF-8/utf8}" || bench_locale=C.UTF-8

# The window writes MakeInitData.txt in its current folder.
seconds=$(env -C "$work" QT_QPA_PLATFORM=offscreen LC_ALL="$bench_locale" \
  "$driver" "127.0.0.1,$port" 'Bench#2026' Bench Big 2>"$work/window.log") || {
  cat "$work/window.log" >&2
  die "the window's run failed"
}
written=$(grep -c '^insert ' "$work/MakeInitData.txt" || true)
[[ $written == "$rows" ]] || die "MakeInitData.txt holds $written rows, expected $rows"
echo "window run, $rows rows: $seconds s"
