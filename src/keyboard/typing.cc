#include "keyboard/typing.h"

#include <string>

#include "ending_signals.h"
#include "keyboard/keyboard.h"
#include "keyboard/text_entry.h"
#include "platform/cf_owned.h"
#include "platform/monotonic_clock.h"
#include "platform/quartz.h"

namespace {

constexpr uint16_t kReturnKeyCode = 36;
constexpr uint16_t kTabKeyCode = 48;

// Shift before Option, in their VKs' order (16, 18), as the agent releases a host's held modifiers.
constexpr struct {
  uint8_t modifier;
  uint16_t keyCode;
} kTypingModifiers[] = {{kStrokeShift, kShiftKeyCode}, {kStrokeOption, kOptionKeyCode}};
static_assert(kTypingModifiers[0].keyCode == 56 && kTypingModifiers[1].keyCode == 58);

void changeModifiers(uint8_t wanted, uint8_t* held, std::vector<TypingStep>* steps) {
  // Releases first, so that no event carries a modifier the next key does not need: after "A",
  // Shift goes up before Option goes down for "å".
  for (const bool down : {false, true}) {
    for (const auto& m : kTypingModifiers) {
      const bool isHeld = (*held & m.modifier) != 0;
      const bool isWanted = (wanted & m.modifier) != 0;
      if (isHeld == isWanted || isWanted != down) continue;
      *held = static_cast<uint8_t>(down ? *held | m.modifier : *held & ~m.modifier);
      steps->push_back({TypingStep::kModifierChange, down, m.keyCode, *held, 0});
    }
  }
}

void planStroke(KeyStroke stroke, uint8_t* held, std::vector<TypingStep>* steps) {
  changeModifiers(stroke.modifiers, held, steps);
  for (const bool down : {true, false}) {
    steps->push_back({TypingStep::kKey, down, stroke.keyCode, stroke.modifiers, 0});
  }
}

CGEventFlags flagsOf(uint8_t modifiers) {
  CGEventFlags flags = 0;
  if (modifiers & kStrokeShift) flags |= kCGEventFlagMaskShift;
  if (modifiers & kStrokeOption) flags |= kCGEventFlagMaskAlternate;
  return flags;
}

// A keystroke or modifier change of TYPE, carrying exactly the modifiers it types with.
void postKeyStep(EventPoster& poster, CGEventSourceRef source, const TypingStep& step) {
  CfOwned<CGEventRef> event(CGEventCreateKeyboardEvent(source, step.keyCode, step.down));
  if (!event) return;
  if (step.kind == TypingStep::kModifierChange) CGEventSetType(event.get(), kCGEventFlagsChanged);
  poster.post(event.get(), flagsOf(step.modifiers));
}

// A character's UTF-16 units; how many (1 or 2).
size_t utf16Of(char32_t c, UniChar (&units)[2]) {
  if (c < 0x10000) {
    units[0] = static_cast<UniChar>(c);
    return 1;
  }
  const char32_t offset = c - 0x10000;
  units[0] = static_cast<UniChar>(0xD800 + (offset >> 10));
  units[1] = static_cast<UniChar>(0xDC00 + (offset & 0x3FF));
  return 2;
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

void planCharacter(const LayoutStrokes* strokes, char32_t c, uint8_t* held,
                   std::vector<TypingStep>* steps) {
  if (c == '\r' || c == '\n' || c == '\t') {
    planStroke({c == '\t' ? kTabKeyCode : kReturnKeyCode, 0}, held, steps);
    return;
  }
  const auto found = strokes != nullptr ? strokes->find(c) : LayoutStrokes::const_iterator();
  if (strokes == nullptr || found == strokes->end()) {
    changeModifiers(0, held, steps);
    for (const bool down : {true, false}) {
      steps->push_back({TypingStep::kText, down, 0, 0, c});
    }
    return;
  }
  for (uint8_t i = 0; i < found->second.count; ++i) {
    planStroke(found->second.strokes[i], held, steps);
  }
}

void planRelease(uint8_t* held, std::vector<TypingStep>* steps) { changeModifiers(0, held, steps); }

void Keyboard::postBase64Typing(std::string_view token) {
  // Handed on as a C string: the text ends at its first NUL byte; invalid UTF-8 types nothing.
  const std::u16string units = utf16Units(decodeBase64(token).c_str());
  if (units.empty()) return;
  CGEventSourceRef source = keystrokeSource();
  if (source == nullptr) return;
  // A character the layout cannot type goes as TEXT's strokes do (no source, key code 0 carrying
  // it), with no flags.
  const auto post = [this, source](const TypingStep& step) {
    if (step.kind != TypingStep::kText) return postKeyStep(poster_, source, step);
    UniChar units[2];
    postTextStroke(units, utf16Of(step.character, units), step.down, 0);
  };
  const LayoutStrokes* strokes = layout_.currentStrokes(monotonicSeconds());
  uint8_t held = 0;
  std::vector<TypingStep> steps;
  for (size_t i = 0; i < units.size();) {
    // A host ending the agent mid-TYPE wants it stopped: between two characters, each one whole.
    if (i > 0 && endingSignal() != 0) break;
    char32_t c = units[i];
    size_t used = 1;
    if (isHighSurrogate(units[i]) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      used = 2;
    } else if (c == '\r' && i + 1 < units.size() && units[i + 1] == '\n') {
      used = 2;  // CR LF is one line break
    }
    steps.clear();
    planCharacter(strokes, c, &held, &steps);
    for (const TypingStep& step : steps) post(step);
    i += used;
  }
  steps.clear();
  planRelease(&held, &steps);
  for (const TypingStep& step : steps) post(step);
}
