#include "command_stream.h"

#include "support/text.h"

#include <cstdint>
#include <string_view>

namespace {

// A fixed-seed generator, so that every run sends the same bytes.
struct Random {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  uint32_t next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return static_cast<uint32_t>((state * 0x2545F4914F6CDD1Dull) >> 32);
  }
  uint32_t below(uint32_t n) { return next() % n; }
};

// What hosts type: ASCII words, accented Latin, CJK, emoji, a sentence.
constexpr std::string_view kTexts[] = {
    "a",
    "hello",
    "Hello, world!",
    "Gr\xC3\xBC\xC3\x9F"
    "e",
    "caf\xC3\xA9",
    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
    "\xF0\x9F\x98\x80 ok",
    "user@example.com",
    "The quick brown fox jumps over the lazy dog",
    "42",
    " ",
    "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",
};

// Letters, digits, space, enter, backspace, tab, arrows, function keys, punctuation.
constexpr uint16_t kKeys[] = {65, 66, 67, 68, 69, 70,  72,  73,  76,  78, 79, 82,
                              83, 84, 86, 88, 90, 48,  49,  50,  57,  32, 13, 8,
                              9,  37, 38, 39, 40, 112, 116, 186, 188, 190};
constexpr uint16_t kModifiers[] = {16, 17, 18, 91, 160, 161, 162, 163, 164};

void addLine(std::string* out, std::string_view a, std::string_view b = {},
             std::string_view c = {}) {
  out->append(a);
  if (!b.empty()) out->append(" ").append(b);
  if (!c.empty()) out->append(" ").append(c);
  out->push_back('\n');
}

}  // namespace

std::string generateCommandStream(size_t count, CommandMix* mix) {
  *mix = CommandMix{};
  std::string encodedTexts[std::size(kTexts)];
  for (size_t i = 0; i < std::size(kTexts); ++i) encodedTexts[i] = encodeBase64(kTexts[i]);

  Random random;
  std::string out;
  out.reserve(count * 16);
  size_t made = 0;
  auto move = [&] {
    addLine(&out, "MOVE", std::to_string(random.below(1512)), std::to_string(random.below(982)));
    ++mix->move;
  };
  auto key = [&](uint16_t vk, bool down) {
    addLine(&out, down ? "KEYDOWN" : "KEYUP", std::to_string(vk));
    ++(down ? mix->keyDown : mix->keyUp);
  };
  // The last line is a PING: its reply tells the host that every command has been handled.
  while (made + 1 < count) {
    uint32_t r = random.below(100);
    size_t left = count - 1 - made;
    if (r < 38) {
      move();
      made += 1;
    } else if (r < 48 && left >= 2) {
      uint16_t vk = kKeys[random.below(std::size(kKeys))];
      key(vk, true);
      key(vk, false);
      made += 2;
    } else if (r < 52 && left >= 4) {
      // A chord: a modifier held around a key, Control+C and its kin among them.
      uint16_t modifier = kModifiers[random.below(std::size(kModifiers))];
      uint16_t vk = kKeys[random.below(std::size(kKeys))];
      key(modifier, true);
      key(vk, true);
      key(vk, false);
      key(modifier, false);
      made += 4;
    } else if (r < 58 && left >= 3) {
      // A press, a drag step, a release; now and then at one spot, so click counts climb.
      uint32_t b = random.below(10);
      std::string_view button = b < 7 ? "left" : b < 9 ? "right" : "middle";
      addLine(&out, "MOUSEDOWN", button);
      ++mix->mouseDown;
      move();
      addLine(&out, "MOUSEUP", button);
      ++mix->mouseUp;
      made += 3;
    } else if (r < 66) {
      addLine(&out, "WHEEL", std::to_string(static_cast<int>(random.below(241)) - 120));
      ++mix->wheel;
      made += 1;
    } else if (r < 72) {
      addLine(&out, "HWHEEL", std::to_string(static_cast<int>(random.below(241)) - 120));
      ++mix->hwheel;
      made += 1;
    } else if (r < 80) {
      addLine(&out, "GETPOS");
      ++mix->getPos;
      made += 1;
    } else if (r < 88) {
      addLine(&out, "PING");
      ++mix->ping;
      made += 1;
    } else if (r < 100) {
      addLine(&out, "TEXT", encodedTexts[random.below(std::size(kTexts))]);
      ++mix->text;
      made += 1;
    }
  }
  addLine(&out, "PING");
  ++mix->ping;
  return out;
}
