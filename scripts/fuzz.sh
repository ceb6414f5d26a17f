#!/usr/bin/env bash
# Builds the libFuzzer target (clang, AddressSanitizer, UndefinedBehaviorSanitizer) in build-fuzz
# and runs it for the given number of seconds (default 60). The corpus grows in
# build-fuzz/corpus, seeded from fuzz/corpus; a finding is written to build-fuzz/artifacts/ and
# ends the run with a nonzero status.
#   bash scripts/fuzz.sh [seconds] [extra libFuzzer flags...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMII_BUILD_FUZZER=ON -DMII_SANITIZE=ON -DMII_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz --target mii_fuzz_command_loop

mkdir -p build-fuzz/corpus build-fuzz/artifacts
# -close_fd_mask=2: the agent's stderr diagnostics (a missing keyboard source) would flood the log;
# libFuzzer's and the sanitizers' reports still appear. -max_len lets inputs grow past two of the
# reader's 65,536-byte reads, so lines cut across reads stay reachable at the real read size too.
exec build-fuzz/fuzz/mii_fuzz_command_loop \
  -max_total_time="$seconds" -timeout=10 -max_len=140000 -len_control=200 \
  -dict=fuzz/commands.dict -close_fd_mask=2 -print_final_stats=1 \
  -artifact_prefix=build-fuzz/artifacts/ "$@" build-fuzz/corpus fuzz/corpus
