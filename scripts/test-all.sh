#!/usr/bin/env bash
# Installs what the tests need when it is missing, then builds and runs every test: the suite in a
# normal build, again under AddressSanitizer and UndefinedBehaviorSanitizer, again under Valgrind
# memcheck (the agents the suite starts included), and the fuzzer for 60 seconds.
#
# On Debian it installs with apt-get (as root, or through sudo when that needs no password); on a
# Mac with Homebrew. A step whose tool is still missing (Valgrind, libFuzzer) is skipped with one
# line; the suite itself is not optional. On a Mac everything runs against the simulated desktop
# (-DMII_PLATFORM=simulated) in build folders of its own, leaving build/ to the real agent.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)

have() { command -v "$1" >/dev/null 2>&1; }

# Whether clang++ links a libFuzzer target (Debian ships the runtime apart from the compiler).
links_libfuzzer() {
  local dir
  have clang++ || return 1
  dir=$(mktemp -d)
  printf '%s\n' '#include <stddef.h>' '#include <stdint.h>' \
    'extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }' >"$dir/f.cc"
  clang++ -fsanitize=fuzzer "$dir/f.cc" -o "$dir/f" >/dev/null 2>&1 && rm -rf "$dir" && return 0
  rm -rf "$dir"
  return 1
}

install_debian() {
  local need=""
  have cmake || need="$need cmake"
  have ninja || need="$need ninja-build"
  have g++ || need="$need g++"
  have clang++ || need="$need clang"
  links_libfuzzer || need="$need libclang-rt-dev"
  have valgrind || need="$need valgrind"
  [ -f /usr/include/gtest/gtest.h ] || need="$need libgtest-dev"
  [ -n "$need" ] || return 0
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if have sudo && sudo -n true 2>/dev/null; then
      sudo="sudo"
    else
      echo "test-all: not root, cannot install:$need (sudo apt-get install$need)" >&2
      return 0
    fi
  fi
  echo "test-all: installing$need"
  local apt="$sudo env DEBIAN_FRONTEND=noninteractive apt-get"
  # shellcheck disable=SC2086  # $apt is a command, $need a list of package names
  if ! { $apt update -q && $apt install -y -q --no-install-recommends $need; }; then
    echo "test-all: apt-get failed; going on with what is installed" >&2
  fi
}

install_homebrew() {
  local need=""
  have cmake || need="$need cmake"
  have ninja || need="$need ninja"
  if ! have brew; then
    [ -z "$need" ] ||
      echo "test-all: missing:$need; install Homebrew, then brew install$need googletest" >&2
    return 0
  fi
  brew list --versions googletest >/dev/null 2>&1 || need="$need googletest"
  [ -n "$need" ] || return 0
  echo "test-all: installing$need"
  # shellcheck disable=SC2086
  brew install $need || echo "test-all: brew install failed; going on with what is installed" >&2
}

if [ "$(uname -s)" = Darwin ]; then
  install_homebrew
  build="build-simulated"
  sanitize_build="build-simulated-sanitize"
  valgrind_hint="; it does not run on current macOS"
else
  have apt-get && install_debian
  build="build"
  sanitize_build="build-sanitize"
  valgrind_hint="; apt-get install valgrind"
fi

# The benchmarks are not part of the suite: they are built by scripts/bench.sh alone.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMII_PLATFORM=simulated \
  -DMII_BUILD_BENCHMARKS=OFF
cmake --build "$build" -j "$jobs"
if [ ! -f "$build/tests/mii_tests" ]; then
  echo "test-all: the test suite was not built (GoogleTest missing, see above)" >&2
  exit 1
fi
ctest --test-dir "$build" --output-on-failure -j "$jobs"

cmake -S . -B "$sanitize_build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMII_PLATFORM=simulated \
  -DMII_SANITIZE=ON -DMII_BUILD_BENCHMARKS=OFF
cmake --build "$sanitize_build" -j "$jobs"
if [ "$(uname -s)" = Darwin ]; then
  # Homebrew's GoogleTest is built without AddressSanitizer. A std::vector or std::string grown in
  # code that is not instrumented leaves its new elements marked as unused capacity, and the
  # instrumented tests reading them get a "container-overflow" that is not there (a known
  # limitation: google/sanitizers issue 362, and the AddressSanitizerContainerOverflow wiki page).
  # Only that check is turned off, only here; every other AddressSanitizer check still runs.
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_container_overflow=0" \
    ctest --test-dir "$sanitize_build" --output-on-failure -j "$jobs"
else
  ctest --test-dir "$sanitize_build" --output-on-failure -j "$jobs"
fi

if have valgrind; then
  bash scripts/valgrind-tests.sh "$build"
else
  echo "test-all: skipped Valgrind memcheck (valgrind not found$valgrind_hint)"
fi

# fuzz.sh exits 77, after one line saying why, when it cannot build the fuzzer here; a finding
# exits 1 and fails the run.
status=0
bash scripts/fuzz.sh 60 || status=$?
if [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; then
  exit "$status"
fi
