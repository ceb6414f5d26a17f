// One host session made of arbitrary bytes, fed through the product's own command loop against
// the simulated desktop, with what must hold whatever the host sends checked after every line.
// The libFuzzer target and the test that replays the fuzzer's past findings share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The first bytes choose the desktop (see fuzz_session.cc); the rest is what the host wrote on
// the agent's standard input.
inline constexpr size_t kFuzzHeaderSize = 4;

// Resets the agent and the desktop, runs the session, and returns a description of the first
// broken invariant, or an empty string when everything held.
std::string runFuzzSession(const uint8_t* data, size_t size);
