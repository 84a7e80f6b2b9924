#!/usr/bin/env bash
# Builds the Debian package from a build folder and runs Debian's own checker on it: any
# error or warning fails the test.
# Usage: lintian_test.sh BUILD_DIR VERSION
set -uo pipefail
source "$(dirname "$0")/make_package.sh"
if ! command -v lintian >/dev/null; then
  echo "lintian is not installed (scripts/setup.sh installs it)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
deb=$(make_package "$1" "$2" "$work") || exit 1

# lintian refuses to run as root unless told that it may.
lintian --allow-root --fail-on error,warning --display-info "$deb"
status=$?
((status == 0)) && echo "lintian accepts $(basename "$deb")"
exit $status
