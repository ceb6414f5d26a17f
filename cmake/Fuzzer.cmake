# Decides whether the libFuzzer target can be built: it needs LLVM's clang with its libFuzzer
# (Apple's clang ships without it) and runs under both sanitizers, as scripts/fuzz.sh configures it.
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
  # A failed check is made again at the next configure, once the runtime may have been installed.
  if(NOT MII_HAVE_LIBFUZZER)
    unset(MII_HAVE_LIBFUZZER CACHE)
  endif()
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
  set(mii_fuzzer_found OFF)
else()
  set(mii_fuzzer_found ON)
endif()

string(CONCAT mii_fuzzer_missing "${mii_fuzzer_missing}; it needs LLVM's clang++ with libFuzzer "
  "and -DMII_SANITIZE=ON (${mii_fuzzer_install}, then bash scripts/fuzz.sh)")
mii_optional(MII_BUILD_FUZZER "Fuzzer" "${mii_fuzzer_found}" "${mii_fuzzer_missing}"
  mii_build_fuzzer)
if(mii_build_fuzzer)
  add_subdirectory(fuzz)
endif()
