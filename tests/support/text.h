// Text that tests, the fuzzer and the benchmarks build their input from.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// text, times times over.
std::string repeat(std::string_view text, size_t times);

// Standard Base64 with padding, as a host encodes TEXT.
std::string encodeBase64(std::string_view bytes);
