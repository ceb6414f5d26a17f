# Decides whether the libFuzzer target can be built: it needs clang's libFuzzer (LLVM's clang; Apple's
# clang ships without it) and runs under both sanitizers, as scripts/fuzz.sh configures it.
include(CheckCXXSourceCompiles)

if(APPLE)
  set(mii_fuzzer_install "brew install llvm")
else()
  set(mii_fuzzer_install "apt-get install clang libclang-rt-dev")
endif()

set(mii_fuzzer_missing "")
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(mii_fuzzer_missing "the compiler is ${CMAKE_CXX_COMPILER_ID}")
elseif(NOT MII_SANITIZE)
  set(mii_fuzzer_missing "MII_SANITIZE is OFF")
else()
  set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer,address,undefined")
  set(CMAKE_REQUIRED_LINK_OPTIONS "-fsanitize=fuzzer,address,undefined")
  set(CMAKE_REQUIRED_QUIET ON)
  check_cxx_source_compiles([[
    #include <stddef.h>
    #include <stdint.h>
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }
  ]] MII_HAVE_LIBFUZZER)
  unset(CMAKE_REQUIRED_FLAGS)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
  unset(CMAKE_REQUIRED_QUIET)
  if(NOT MII_HAVE_LIBFUZZER)
    set(mii_fuzzer_missing "clang++ cannot link libFuzzer")
  endif()
endif()

if(mii_fuzzer_missing)
  message(STATUS "Fuzzer: skipped (${mii_fuzzer_missing}); it needs LLVM's clang++ with libFuzzer "
                 "and -DMII_SANITIZE=ON: ${mii_fuzzer_install}, then bash scripts/fuzz.sh")
else()
  add_subdirectory(fuzz)
endif()
