#!/usr/bin/env bash
# Builds the agent, the floor program and the benchmarks in Release (build-bench/) and runs them:
# CPU per command, memory and round trips against the floor of the pipe protocol, then the
# micro-benchmarks. Arguments go to mii_pipe_bench (--commands N, --round-trips N, --runs N).
# Not part of the test suite: it measures, it does not judge.
set -euo pipefail
cd "$(dirname "$0")/.."

# The simulated desktop on a Mac too, where the default platform builds no benchmarks; getconf
# rather than nproc, which macOS lacks.
# The build's output goes to a log, shown when the build fails.
mkdir -p build-bench
if ! {
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMII_PLATFORM=simulated \
    -DMII_BUILD_BENCHMARKS=ON -DMII_BUILD_TESTS=OFF -DMII_SANITIZE=OFF &&
    cmake --build build-bench -j "$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)"
} >build-bench/build.log 2>&1; then
  tail -n 30 build-bench/build.log
  echo "bench: the build failed (build-bench/build.log)" >&2
  exit 1
fi

echo "== the agent against the floor of its pipe protocol (Release, simulated desktop, no trace)"
build-bench/bench/mii_pipe_bench "$@"

echo
echo "== micro-benchmarks (in process, simulated desktop)"
build-bench/bench/mii_micro_bench --benchmark_min_time=0.5 2>/dev/null |
  grep -Ev '^(Run on|CPU Caches|  L[0-9]|Load Average|\*\*\*WARNING)'
