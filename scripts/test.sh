#!/usr/bin/env bash
# Sets up the machine, checks formatting, builds and runs the whole test suite, then builds
# and runs it once more under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS

bash scripts/setup.sh

echo "== formatting"
git ls-files -- '*.cpp' '*.h' | xargs -r clang-format --dry-run -Werror

jobs=$(nproc)
echo "== build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300

echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600

echo "== all tests passed in $((SECONDS - start)) s"
