#!/usr/bin/env bash
# Fails when a layer includes a layer above it. From the bottom: src/server, src/script,
# src/session, then the hosts (src/window with src/app above it, and tools/velmora-export).
# The script layer sees only the server's interfaces and values, not its ODBC side; the
# session has no Qt; only the server layer includes the ODBC headers; the stand-in includes
# nothing of src/.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

failures=0
# fail <folder> <extended regex of forbidden include lines> <why>
fail_on() {
  local hits
  hits=$(grep -rnE --include='*.cpp' --include='*.h' "^[[:space:]]*#[[:space:]]*include[[:space:]]*$2" "$1" || true)
  if [[ -n $hits ]]; then
    echo "$3:"
    echo "$hits"
    failures=$((failures + 1))
  fi
}

fail_on src/server '"(script|session|window|app)/' "the server layer includes a layer above it"
fail_on src/script '"(session|window|app)/' "the script layer includes a layer above it"
fail_on src/script '"server/odbc_' "the script layer includes the server's ODBC side"
fail_on src/session '"(window|app)/' "the session includes a layer above it"
fail_on src/session '<Q' "the session includes Qt"
fail_on src/window '"app/' "the window includes the program entry"
fail_on tools/velmora-export '"(window|app)/' "the exporter includes the window"
fail_on tools/tds-standin '"(server|script|session|window|app)/' "the stand-in includes src/"
for folder in src/script src/session src/window src/app tools/velmora-export; do
  fail_on "$folder" '<(sql|sqlext|sqltypes)\.h>' "ODBC headers outside the server layer"
done

if ((failures > 0)); then
  exit 1
fi
echo "include layers hold"
