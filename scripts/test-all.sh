#!/usr/bin/env bash
# Builds and runs every test: the suite in a normal build, again under AddressSanitizer and
# UndefinedBehaviorSanitizer, again under Valgrind memcheck (the agents the suite starts included),
# and then the fuzzer for 60 seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMII_SANITIZE=ON
cmake --build build-sanitize -j "$jobs"
ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

bash scripts/valgrind-tests.sh

bash scripts/fuzz.sh 60
