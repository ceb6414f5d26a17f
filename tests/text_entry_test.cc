// Text entry in-process: the Base64 decoder, the text events and their 20-unit chunks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keyboard/keyboard.h"
#include "keyboard/text_entry.h"
#include "platform/simulated/simulation.h"
#include "support/describe.h"
#include "support/in_process.h"
#include "support/text.h"

namespace {

std::string decode(std::string_view token) { return decodeBase64(token); }

// The UTF-16 units of UTF-8 text, as the platform converts it.
std::u16string unitsOf(const std::string& utf8) {
  CFStringRef string = CFStringCreateWithCString(nullptr, utf8.c_str(), kCFStringEncodingUTF8);
  std::u16string units(static_cast<size_t>(CFStringGetLength(string)), u'\0');
  CFStringGetCharacters(string, CFRangeMake(0, CFStringGetLength(string)),
                        reinterpret_cast<UniChar*>(units.data()));
  CFRelease(string);
  return units;
}

// The text of every stroke posted, checking each is a key down and then its key up as the agent
// makes them: no source, key code 0, the same text, the modifiers held.
std::vector<std::u16string> postedTexts() {
  std::vector<std::u16string> texts;
  const std::string flags = flagNames(session().keyboard.modifierFlags());
  for (const SimEvent& e : simPostedEvents()) {
    const bool down = e.type == kCGEventKeyDown;
    SimEvent withoutText = e;
    withoutText.text.reset();
    EXPECT_EQ(describe(withoutText),
              (down ? "keydown 0" : "keyup 0") + (flags.empty() ? "" : " " + flags));
    if (down) {
      texts.push_back(e.text.value_or(u""));
    } else {
      EXPECT_EQ(e.text.value_or(u"?"), texts.empty() ? u"" : texts.back());
    }
  }
  EXPECT_EQ(simPostedEvents().size(), texts.size() * 2);
  simClearPostedEvents();
  return texts;
}

using TextEntryTest = AgentTest<>;

TEST_F(TextEntryTest, Base64DecoderAlphabetValuesAndZeroElsewhere) {
  // A lone character decodes to its value shifted left by two.
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int byte = 0; byte < 256; ++byte) {
    const size_t at = alphabet.find(static_cast<char>(byte));
    const int value = byte != 0 && at != std::string::npos ? static_cast<int>(at) : 0;
    EXPECT_EQ(decode(std::string(1, static_cast<char>(byte))),
              std::string(1, static_cast<char>((value << 2) & 0xFF)))
        << "byte " << byte;
  }
}

TEST_F(TextEntryTest, Base64DecoderNeverRejectsAndFollowsItsGroupRules) {
  struct Case {
    std::string token;
    std::string bytes;
  };
  const Case cases[] = {
      {"aGk=", "hi"},
      {"aGk", "hi"},  // the missing "=" changes nothing
      {"aA", "h"},    // a two-character group yields only its first byte
      {"aA==", "h"},
      {"a===", "h"},
      {"a", "h"},  // a lone last character yields a << 2 (26 << 2 = 'h')
      {"", ""},
      {"aGVsbG8gd29ybGQ=", "hello world"},
      {"aGk=aQ==", "hii"},  // "=" only suppresses bytes of its own group
      {"aGk=a", "hih"},
      {"a=b=", std::string("h\x06", 2)},  // "=" in third place suppresses only the third byte
      {"====", std::string(1, '\0')},     // "=" reads as 0 where it cannot suppress
      {"aG-_", std::string("h`\0", 3)},   // URL-safe characters read as 0
      {"aGk\t", std::string("hi\0", 3)},  // so do blanks, which belong to the token
      {"\xff\x80zz", std::string("\0\x0c\xf3", 3)},  // bytes above 127 read as 0
      {"+/+/", "\xfb\xff\xbf"},
      {"YQBi", std::string("a\0b", 3)},  // decoding keeps the NUL; typing stops at it
      {"Q", "@"},
      {"QUJDR", "ABCD"},
      {"QUJDRA", "ABCD"},
      {"QUJDREU", "ABCDE"},
      {"QQ=", "A"},
      {"Q===", "@"},
      {"=", std::string(1, '\0')},
  };
  for (const Case& c : cases) EXPECT_EQ(decode(c.token), c.bytes) << "token \"" << c.token << "\"";
  // The token is a view into a longer line: bytes after it are not read.
  EXPECT_EQ(decode(std::string_view("aGk=QUJD").substr(0, 3)), "hi");
  // The longest line the protocol delivers.
  EXPECT_EQ(decode(std::string(65535, 'A')), std::string(65535 / 4 * 3 + 2, '\0'));
}

TEST_F(TextEntryTest, TypesTheDecodedTextInOneStrokeWithoutSource) {
  struct Case {
    const char* line;
    std::u16string text;  // empty: nothing typed
  };
  const Case cases[] = {
      {"TEXT aGk=", u"hi"},
      {"TEXT aGk", u"hi"},
      {"TEXT aA", u"h"},
      {"TEXT YQBi", u"a"},                     // "a\0b": typed up to the NUL
      {"TEXT 5L2g5aW95LiW55WM", u"你好世界"},  // CJK
      {"TEXT 8J+YgA==", u"\U0001F600"},        // an emoji: two UTF-16 units
      {"TEXT aGk= ignored", u"hi"},
      {"TEXT /w==", u""},      // 0xFF: not UTF-8
      {"TEXT YWLD", u""},      // "ab\xc3": a truncated sequence
      {"TEXT wK8=", u""},      // an overlong form
      {"TEXT 7aCA", u""},      // a surrogate
      {"TEXT AGI=", u""},      // "\0b": empty up to the NUL
      {"TEXT wA==", u""},      // a lone lead byte
      {"TEXT 9JCAgA==", u""},  // beyond U+10FFFF
      {"TEXT aGn/", u""},      // valid text, then 0xFF
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(handleLines(std::string(c.line) + "\n"), "");
    EXPECT_EQ(postedTexts(),
              c.text.empty() ? std::vector<std::u16string>{} : std::vector<std::u16string>{c.text});
  }
  EXPECT_TRUE(keyboardStateIsClear()) << "text changes no key state";
  EXPECT_EQ(simLiveSources(), 0) << "text events are made without the keyboard source";
}

TEST_F(TextEntryTest, CarriesTheModifiersHeld) {
  handleLines("KEYDOWN 17\nKEYDOWN 16\n");
  simClearPostedEvents();
  handleLines("TEXT QWI=\n");  // "Ab"
  EXPECT_EQ(postedTexts(), std::vector<std::u16string>{u"Ab"});
  EXPECT_EQ(session().keyboard.modifierFlags(), kCGEventFlagMaskControl | kCGEventFlagMaskShift);
}

TEST_F(TextEntryTest, LongTextGoesOutIn20UnitStrokesThatDoNotStartWithABreak) {
  const std::string emoji = "\U0001F600";  // D83D DE00
  struct Case {
    const char* name;
    std::string text;
    std::vector<size_t> chunkSizes;
  };
  const Case cases[] = {
      {"19 units", repeat("a", 19), {19}},
      {"20 units", repeat("b", 20), {20}},
      {"21 units", repeat("c", 21), {20, 1}},
      {"40 units", repeat("d", 40), {20, 20}},
      {"41 units", repeat("e", 41), {20, 20, 1}},
      {"a pair ending at unit 20", repeat("f", 18) + emoji, {20}},
      {"a pair across the 20-unit boundary", repeat("g", 19) + emoji, {19, 2}},
      {"U+10FFFF across the 20-unit boundary", repeat("g", 19) + "\U0010FFFF", {19, 2}},
      {"a pair starting after unit 20", repeat("h", 20) + emoji, {20, 2}},
      {"a pair across the 40-unit boundary", repeat("i", 39) + emoji + "j", {20, 19, 3}},
      {"pairs only", repeat(emoji, 11), {20, 2}},
      {"pairs at odd offsets", "k" + repeat(emoji, 11), {19, 4}},
      {"CJK", repeat("你好", 11), {20, 2}},
      // No stroke after the first starts with CR, LF or Tab: the one before ends early.
      {"LF after unit 20", repeat("l", 20) + "\nm", {19, 3}},
      {"CR LF after unit 20", repeat("l", 19) + "\r\nm", {18, 4}},
      {"Tab after unit 20", repeat("l", 20) + "\tm", {19, 3}},
      {"a pair before the break", repeat("l", 18) + emoji + "\n", {18, 3}},
      {"the first stroke may start with one", "\n" + repeat("n", 20), {20, 1}},
      {"a break the last stroke starts with", repeat("o", 20) + "\n", {19, 2}},
      {"breaks longer than a stroke are cut as they fall", "p" + repeat("\n", 25) + "q", {20, 7}},
      {"a long text", repeat("x\u00e9", 500) + emoji,
       [] {
         std::vector<size_t> sizes(50, 20);
         sizes.push_back(2);
         return sizes;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    session().keyboard.postUnicodeText(c.text.c_str());
    std::vector<size_t> sizes;
    std::u16string joined;
    for (const std::u16string& text : postedTexts()) {
      sizes.push_back(text.size());
      joined += text;
    }
    EXPECT_EQ(sizes, c.chunkSizes);
    EXPECT_EQ(joined, unitsOf(c.text)) << "every unit, in order";
  }
}

TEST_F(TextEntryTest, FailuresTypeNothingSilently) {
  for (unsigned failure : {kSimFailString, kSimFailKeyboard}) {
    simSetFailures(failure);
    testing::internal::CaptureStderr();
    session().keyboard.postUnicodeText(repeat("x", 45).c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(simPostedEvents().empty());
  }
  // Text does not need the keyboard source.
  simSetFailures(kSimFailSource);
  session().keyboard.postUnicodeText("hi");
  EXPECT_EQ(postedTexts(), std::vector<std::u16string>{u"hi"});
}

}  // namespace
