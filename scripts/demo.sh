#!/usr/bin/env bash
# Sets up the machine, builds Velmora and opens it on the bundled sample server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

root=$PWD
port=11433
server="127.0.0.1,$port"
password='Velmora#2026'
standin="$root/build/tools/tds-standin/tds-standin"
work=$(mktemp -d)
standin_pid=

stop_standin() {
  if [[ -n $standin_pid ]]; then
    kill "$standin_pid" 2>/dev/null || true
    wait "$standin_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap stop_standin EXIT

# The sample server, on its fixed loopback port; it reports the port once it listens.
"$standin" --fixture "$root/data/sample.json" --port "$port" >"$work/standin.log" 2>&1 &
standin_pid=$!
for _ in $(seq 100); do
  grep -q '^listening on' "$work/standin.log" && break
  if ! kill -0 "$standin_pid" 2>/dev/null; then
    echo "The sample server did not start (is port $port taken?):" >&2
    cat "$work/standin.log" >&2
    exit 1
  fi
  sleep 0.1
done
grep -q '^listening on' "$work/standin.log" || { echo "The sample server did not answer." >&2; exit 1; }

if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  echo "No display (DISPLAY and WAYLAND_DISPLAY are empty), so the window cannot open."
  echo "Running velmora-export on the sample database Shop instead:"
  echo
  (cd "$work" && VELMORA_PASSWORD="$password" \
    "$root/build/tools/velmora-export/velmora-export" --server "$server" --database Shop)
  echo
  echo "== MakeInitData.txt"
  cat "$work/MakeInitData.txt"
  exit 0
fi

mkdir -p "$root/build/demo"
echo "The sample server is running. In the window type:"
echo "  数据库服务器 (server):   $server"
echo "  数据库密码 (password):   $password"
echo "then press 尝试连接数据, pick a database and press 生成SQL语句."
echo "The script is written to $root/build/demo/MakeInitData.txt."
echo "The sample server stops when the window closes."
(cd "$root/build/demo" && "$root/build/src/app/velmora")
