#!/usr/bin/env bash
# Fails when a C++ source file is named (by name or by name without .cpp) in no CMakeLists.txt
# of its folder or a folder above it: with explicit source lists, a file left out would
# silently not be built or tested.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

missing=0
while IFS= read -r file; do
  name=$(basename "$file")
  stem=${name%.cpp}
  folder=$(dirname "$file")
  listed=false
  while :; do
    if [[ -f $folder/CMakeLists.txt ]] &&
      grep -qwE "(${name//./\\.}|${stem})" "$folder/CMakeLists.txt"; then
      listed=true
      break
    fi
    [[ $folder == . ]] && break
    folder=$(dirname "$folder")
  done
  if ! $listed; then
    echo "in no source list: $file"
    missing=$((missing + 1))
  fi
done < <(find src tools tests -name '*.cpp' -not -path 'tools/tds-standin/fuzz/*' | sort)

if ((missing > 0)); then
  exit 1
fi
echo "every source file is listed"
