#!/usr/bin/env bash
# Fails when a layer includes a layer above it. From the bottom: src/text, src/server,
# src/script, src/session, then the hosts (src/window with src/app above it, and
# tools/velmora-export). The text layer has no Qt; the script layer sees only the server's
# interfaces and values, not its ODBC side; the session has no Qt; only the server layer
# includes the ODBC headers, and of its own ODBC headers the hosts see only the connection
# factory and the driver check; the stand-in includes nothing of src/.
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

fail_on src/text '"(server|script|session|window|app)/' "the text layer includes a layer above it"
fail_on src/text '<Q' "the text layer includes Qt"
fail_on src/server '"(script|session|window|app)/' "the server layer includes a layer above it"
fail_on src/script '"(session|window|app)/' "the script layer includes a layer above it"
fail_on src/script '"server/odbc_' "the script layer includes the server's ODBC side"
fail_on src/session '"(window|app)/' "the session includes a layer above it"
fail_on src/session '<Q' "the session includes Qt"
fail_on src/window '"app/' "the window includes the program entry"
fail_on tools/velmora-export '"(window|app)/' "the exporter includes the window"
fail_on tools/tds-standin '"(server|script|session|window|app)/' "the stand-in includes src/"
for folder in src/text src/script src/session src/window src/app tools/velmora-export; do
  fail_on "$folder" '<(sql|sqlext|sqltypes)\.h>' "ODBC headers outside the server layer"
done
# The hosts make the ODBC connection factory and check for the driver; every other ODBC header
# of the server layer is its own.
private_odbc=$(grep -rnE --include='*.cpp' --include='*.h' \
  '^[[:space:]]*#[[:space:]]*include[[:space:]]*"server/odbc_' \
  src/text src/script src/session src/window src/app tools/velmora-export |
  grep -vE '"server/odbc_(connection|driver_check)\.h"' || true)
if [[ -n $private_odbc ]]; then
  echo "the server's own ODBC headers outside it:"
  echo "$private_odbc"
  failures=$((failures + 1))
fi

if ((failures > 0)); then
  exit 1
fi
echo "include layers hold"
