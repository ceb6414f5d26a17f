// One host session made of arbitrary bytes, fed through the product's own command loop against
// the simulated desktop, with what must hold whatever the host sends checked after every line.
// The libFuzzer target and the test that replays the fuzzer's past findings share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/simulated/simulation.h"

// The first bytes choose the desktop (see fuzz_session.cc); the rest is what the host wrote on
// the agent's standard input.
inline constexpr size_t kFuzzHeaderSize = 4;

// Resets the agent and the desktop, runs the session, and returns a description of the first
// broken invariant, or an empty string when everything held.
std::string runFuzzSession(const uint8_t* data, size_t size);

// Whether reply (without its line feed) is one the protocol has for a command word: the word
// echoed as unknown, whatever it is, or the word's own answer, named after it.
bool answersCommand(std::string_view reply, std::string_view word);

// Which keys and buttons the Mac was told are down, from the events posted, as an application
// reading them would see it: what the session checks every press is released by, and released on
// the key or button it was pressed on.
class PostedPresses {
 public:
  // Takes the next posted event; the first rule it breaks, or an empty string: a key pressed again
  // while down must be marked a repeat, and a stroke of text must be released before anything
  // else is posted. A release of what is not down is let through: it may be the host's own.
  std::string take(const SimEvent& event);
  // The keys and buttons still down ("key 41, button 0"); empty when none.
  std::string stillDown() const;
  // While a line is TYPE: it types text, never repeats, so it strokes a key the host holds afresh.
  bool typing = false;

 private:
  std::set<uint16_t> keys_;       // key codes
  std::set<uint32_t> buttons_;    // 0 left, 1 right, 2 and up the others
  std::set<int64_t> mediaKeys_;   // volume and media keys by their key type
  std::optional<SimEvent> text_;  // a stroke of text pressed and not yet released
};
