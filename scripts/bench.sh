#!/usr/bin/env bash
# Builds the agent, the floor program and the benchmarks in Release (build-bench/) and runs them:
# throughput, round trips and peak memory against the floor, then the micro-benchmarks.
# Extra arguments go to mii_pipe_bench (--commands N, --round-trips N, --runs N).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMII_BUILD_BENCHMARKS=ON \
  -DMII_BUILD_TESTS=OFF -DMII_SANITIZE=OFF >/dev/null
cmake --build build-bench -j "$jobs" >/dev/null

echo "== agent against the floor of its pipe protocol"
build-bench/bench/mii_pipe_bench "$@"

echo
echo "== micro-benchmarks (in process, simulated desktop)"
build-bench/bench/mii_micro_bench --benchmark_min_time=0.2 2>/dev/null |
  awk 'NR==1 || /^-+$/ || /^[a-zA-Z]/'
