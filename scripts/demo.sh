#!/usr/bin/env bash
# Sets up the machine, builds Velmora and runs it on the bundled sample server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
echo "The window and the sample server are still being built; nothing to show yet."
