#!/usr/bin/env bash
# Builds the packet-parser fuzz target with clang's libFuzzer and runs it for a while.
# Usage: run_fuzzer.sh BUILD_DIR [SECONDS]
# Exits 77 (a skipped test for CTest) when clang++ or its fuzzer runtime is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?build folder}
seconds=${2:-20}
command -v clang++ >/dev/null || { echo "clang++ is not installed: fuzzing skipped"; exit 77; }

mkdir -p "$build/fuzz-corpus"
program=$build/standin_packet_fuzzer
sources=(fuzz/packet_fuzzer.cpp condition.cpp packet_channel.cpp requests.cpp sql_lexer.cpp statement.cpp
         text_codec.cpp wire.cpp)
if ! (cd "$here" && clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined \
      -fno-sanitize-recover=undefined -I. "${sources[@]}" -o "$program"); then
  if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
      clang++ -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null; then
    echo "clang's libFuzzer runtime is missing: fuzzing skipped"
    exit 77
  fi
  exit 1
fi
# A few well-formed messages give the fuzzer somewhere to start.
printf '\x01\x12\x01\x00\x10\x00\x00\x01\x00\x00\x00\x0b\x00\x01\xff\x00' >"$build/fuzz-corpus/prelogin"
printf '\x01\x01\x01\x00\x2a\x00\x00\x01\x00\x16\x00\x00\x00\x12\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00s\x00e\x00l\x00' >"$build/fuzz-corpus/batch"
printf "\x00select top (0) * from [T] where (a = 1 or b like 'x%%' and not c in (1, -2.5, N'y''z') and d between '20230101' and 2 and e is not null and f !< g)" >"$build/fuzz-corpus/condition"
"$program" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$build/fuzz-corpus"
