#!/usr/bin/env bash
# Builds the libFuzzer target (clang, AddressSanitizer, UndefinedBehaviorSanitizer) in build-fuzz
# and runs it for the given number of seconds (default 60). The corpus grows in
# build-fuzz/corpus, seeded from fuzz/corpus; a finding (a crash, a sanitizer report, a broken
# invariant) is written to build-fuzz/artifacts/ and ends the run with status 1, a timeout with
# status 70. Where the fuzzer cannot be built (no clang++, or a clang without libFuzzer, such as
# Apple's), it says why in one line and exits 77, which callers take as "skipped": libFuzzer's own
# status for a finding is also 77, so the fuzzer is told to use 1 instead.
#   bash scripts/fuzz.sh [seconds] [extra libFuzzer flags...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

# LLVM's clang: Homebrew's on a Mac, whose own clang has no libFuzzer.
cxx=clang++
if [ "$(uname -s)" = Darwin ] && command -v brew >/dev/null 2>&1; then
  llvm=$(brew --prefix llvm 2>/dev/null || true)
  [ -x "$llvm/bin/clang++" ] && cxx=$llvm/bin/clang++
fi
if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "fuzz.sh: skipped, clang++ not found" \
    "(apt-get install clang libclang-rt-dev; on a Mac: brew install llvm)"
  exit 77
fi

configure=$(CXX=$cxx cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMII_PLATFORM=simulated -DMII_SANITIZE=ON -DMII_BUILD_FUZZER=AUTO -DMII_BUILD_TESTS=OFF \
  -DMII_BUILD_BENCHMARKS=OFF 2>&1) || { echo "$configure" >&2; exit 1; }
skipped=$(echo "$configure" | grep -o 'Fuzzer: skipped.*' || true)
if [ -n "$skipped" ]; then
  echo "fuzz.sh: ${skipped#Fuzzer: }"
  exit 77
fi
cmake --build build-fuzz --target mii_fuzz_command_loop

mkdir -p build-fuzz/corpus build-fuzz/artifacts
# -close_fd_mask=2: the agent's stderr diagnostics (a missing keyboard source) would flood the log;
# libFuzzer's and the sanitizers' reports still appear. -max_len lets inputs grow past two of the
# reader's 65,536-byte reads, so lines cut across reads stay reachable at the real read size too.
exec build-fuzz/fuzz/mii_fuzz_command_loop \
  -max_total_time="$seconds" -timeout=10 -error_exitcode=1 -timeout_exitcode=70 \
  -max_len=140000 -len_control=200 \
  -dict=fuzz/commands.dict -close_fd_mask=2 -print_final_stats=1 \
  -artifact_prefix=build-fuzz/artifacts/ ${1+"$@"} build-fuzz/corpus fuzz/corpus
