// Text entry in-process: the Base64 decoder, the text events and their 20-unit chunks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keyboard/key_events.h"
#include "keyboard/text_entry.h"
#include "platform/simulation.h"
#include "support/in_process.h"
#include "support/keyboard_events.h"

namespace {

std::string decode(std::string_view token) {
  std::string out(token.size() + 1, '\x7F');
  const size_t length = decodeBase64(token, reinterpret_cast<unsigned char*>(out.data()));
  EXPECT_LE(length, token.size());
  EXPECT_EQ(out[token.size()], '\x7F') << "wrote past the token's length";
  out.resize(length);
  return out;
}

std::string base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[group >> 18 & 63];
    out += kAlphabet[group >> 12 & 63];
    out += i + 1 < bytes.size() ? kAlphabet[group >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
  }
  return out;
}

std::u16string repeated(size_t count, std::u16string_view piece) {
  std::u16string out;
  for (size_t i = 0; i < count; ++i) out += piece;
  return out;
}

// UTF-16 (well-formed) to UTF-8.
std::string utf8Of(std::u16string_view text) {
  std::string utf8;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    if (cp < 0x80) {
      utf8 += static_cast<char>(cp);
    } else if (cp < 0x800) {
      utf8 += static_cast<char>(0xC0 | cp >> 6);
      utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      utf8 += static_cast<char>(0xE0 | cp >> 12);
      utf8 += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | cp >> 18);
      utf8 += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
      utf8 += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return utf8;
}

// The texts of every posted event, checking each is a text event as the agent makes them.
std::vector<std::u16string> postedTexts() {
  std::vector<std::u16string> texts;
  for (const SimEvent& e : simPostedEvents()) {
    EXPECT_EQ(e.kind, SimEventKind::Keyboard);
    EXPECT_EQ(e.type, static_cast<uint32_t>(kCGEventKeyDown));
    EXPECT_EQ(e.tap, 0u);
    EXPECT_FALSE(e.hidSource);
    EXPECT_EQ(e.keycode, 0);
    EXPECT_TRUE(e.down);
    EXPECT_EQ(e.flags, std::optional<uint64_t>(g_modifierFlags));
    EXPECT_TRUE(e.text.has_value());
    texts.push_back(e.text.value_or(u""));
  }
  return texts;
}

class TextEntry : public ::testing::Test {
 protected:
  void SetUp() override {
    resetAgent();
    liveEvents = simLiveEvents();
    liveStrings = simLiveStrings();
  }
  void TearDown() override {
    EXPECT_EQ(simLiveEvents(), liveEvents);
    EXPECT_EQ(simLiveStrings(), liveStrings);
    EXPECT_EQ(simLiveSources(), 0) << "text events are made without the keyboard source";
  }
  long liveEvents = 0;
  long liveStrings = 0;
};

TEST(Base64Table, AlphabetValuesAndZeroElsewhere) {
  EXPECT_EQ(b64table.size(), 256u);
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int byte = 0; byte < 256; ++byte) {
    const size_t at = alphabet.find(static_cast<char>(byte));
    const int expected = byte != 0 && at != std::string::npos ? static_cast<int>(at) : 0;
    EXPECT_EQ(b64table[static_cast<size_t>(byte)], expected) << "byte " << byte;
  }
  EXPECT_EQ(b64table['A'], 0);
  EXPECT_EQ(b64table['z'], 51);
  EXPECT_EQ(b64table['/'], 63);
  EXPECT_EQ(b64table['='], 0);
  EXPECT_EQ(b64table['-'], 0);
  EXPECT_EQ(b64table['_'], 0);
  EXPECT_EQ(b64table[200], 0);
}

TEST(Base64Decoder, NeverRejectsAndFollowsItsGroupRules) {
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
      {"aGVsbG8=", "hello"},
      {"aGVsbG8gd29ybGQ=", "hello world"},
      {"aGk=aQ==", "hii"},  // "=" only suppresses bytes of its own group
      {"aGk=a", "hih"},
      {"a=b=", std::string("h\x06", 2)},  // "=" in third place suppresses only the third byte
      {"=", std::string(1, '\0')},        // "=" reads as 0 where it cannot suppress
      {"====", std::string(1, '\0')},
      {"aG-_", std::string("h`\0", 3)},              // URL-safe characters read as 0
      {"aGk\t", std::string("hi\0", 3)},             // so do blanks, which belong to the token
      {"\xff\x80zz", std::string("\0\x0c\xf3", 3)},  // bytes above 127 read as 0
      {"////", "\xff\xff\xff"},
      {"+/+/", "\xfb\xff\xbf"},
      {"YQBi", std::string("a\0b", 3)},  // decoding keeps the NUL; typing stops at it
  };
  for (const Case& c : cases) EXPECT_EQ(decode(c.token), c.bytes) << "token \"" << c.token << "\"";
}

TEST(Base64Decoder, ReadsOnlyTheTokenItself) {
  // The token is a view into a longer line: bytes after it must not be decoded.
  const std::string line = "aGk=QUJD";
  EXPECT_EQ(decode(std::string_view(line).substr(0, 3)), "hi");
  EXPECT_EQ(decode(std::string_view(line).substr(0, 2)), "h");
  // The longest line the protocol delivers.
  EXPECT_EQ(decode(std::string(65535, 'A')), std::string(65535 / 4 * 3 + 2, '\0'));
}

TEST_F(TextEntry, TypesTheDecodedTextInOneKeyDownWithoutSource) {
  struct Case {
    const char* line;
    std::u16string text;
  };
  const Case cases[] = {
      {"TEXT aGk=", u"hi"},
      {"TEXT aGk", u"hi"},
      {"TEXT aA", u"h"},
      {"TEXT YQBi", u"a"},                     // "a\0b": typed up to the NUL
      {"TEXT 5L2g5aW95LiW55WM", u"你好世界"},  // CJK
      {"TEXT 8J+YgA==", u"\U0001F600"},        // an emoji: two UTF-16 units
      {"TEXT aGk= ignored", u"hi"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    simClearPostedEvents();
    EXPECT_EQ(handleLines(std::string(c.line) + "\n"), "");
    EXPECT_EQ(postedTexts(), std::vector<std::u16string>{c.text});
  }
  EXPECT_TRUE(keyboardStateIsClear()) << "text changes no key state";
}

TEST_F(TextEntry, TypesNothingForInvalidUtf8OrAnEmptyText) {
  const std::string tokens[] = {
      base64("\xff"),                 // not UTF-8 at all
      base64("ab\xc3"),               // truncated sequence
      base64("\xc0\xaf"),             // overlong
      base64("\xed\xa0\x80"),         // a surrogate
      base64(std::string("\0b", 2)),  // empty up to its NUL
      "====",                         // decodes to a NUL byte
      "AA",
  };
  for (const std::string& token : tokens) {
    EXPECT_EQ(handleLines("TEXT " + token + "\n"), "");
    EXPECT_TRUE(simPostedEvents().empty()) << token;
  }
  postUnicodeText("");
  EXPECT_TRUE(simPostedEvents().empty());
}

TEST_F(TextEntry, CarriesTheModifiersHeldAndChangesThemNot) {
  handleLines("KEYDOWN 17\nKEYDOWN 16\n");
  simClearPostedEvents();
  handleLines("TEXT " + base64("Ab") + "\n");
  ASSERT_EQ(simPostedEvents().size(), 1u);
  EXPECT_EQ(simPostedEvents()[0].flags,
            std::optional<uint64_t>(kCGEventFlagMaskControl | kCGEventFlagMaskShift));
  EXPECT_EQ(g_modifierFlags, kCGEventFlagMaskControl | kCGEventFlagMaskShift);
  EXPECT_FALSE(keyDown[65]);
  EXPECT_FALSE(keyDown[66]);
  resetAgent();  // the key commands made the source; it goes with the reset
}

TEST_F(TextEntry, LongTextGoesOutIn20UnitEventsWithoutSplittingSurrogatePairs) {
  const std::u16string emoji = u"\U0001F600";  // D83D DE00
  struct Case {
    const char* name;
    std::u16string text;
    std::vector<size_t> chunkSizes;
  };
  const Case cases[] = {
      {"19 units", repeated(19, u"a"), {19}},
      {"20 units", repeated(20, u"b"), {20}},
      {"21 units", repeated(21, u"c"), {20, 1}},
      {"40 units", repeated(40, u"d"), {20, 20}},
      {"41 units", repeated(41, u"e"), {20, 20, 1}},
      {"a pair ending at unit 20", repeated(18, u"f") + emoji, {20}},
      {"a pair across the 20-unit boundary", repeated(19, u"g") + emoji, {19, 2}},
      {"a pair starting after unit 20", repeated(20, u"h") + emoji, {20, 2}},
      {"a pair across the 40-unit boundary", repeated(39, u"i") + emoji + u"j", {20, 19, 3}},
      {"pairs only", repeated(11, emoji), {20, 2}},
      {"pairs at odd offsets", u"k" + repeated(11, emoji), {19, 4}},
      {"CJK over the limit", repeated(11, u"你好"), {20, 2}},
      {"a long text", repeated(500, u"x\u00e9") + emoji,
       [] {
         std::vector<size_t> sizes(50, 20);
         sizes.push_back(2);
         return sizes;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    simClearPostedEvents();
    handleLines("TEXT " + base64(utf8Of(c.text)) + "\n");
    const std::vector<std::u16string> texts = postedTexts();
    std::vector<size_t> sizes;
    std::u16string joined;
    for (const std::u16string& text : texts) {
      sizes.push_back(text.size());
      joined += text;
      EXPECT_FALSE(text.back() >= 0xD800 && text.back() <= 0xDBFF) << "ends on a high surrogate";
      EXPECT_FALSE(text.front() >= 0xDC00 && text.front() <= 0xDFFF) << "starts on a low one";
    }
    EXPECT_EQ(sizes, c.chunkSizes);
    EXPECT_EQ(joined, c.text) << "every unit, in order";
  }
}

TEST_F(TextEntry, FailuresTypeNothingAndLeakNothing) {
  for (unsigned failure : {kSimFailString, kSimFailKeyboard}) {
    simSetFailures(failure);
    simClearPostedEvents();
    testing::internal::CaptureStderr();
    EXPECT_EQ(handleLines("TEXT " + base64(std::string(45, 'x')) + "\n"), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(simPostedEvents().empty());
  }
  // A missing keyboard source does not matter to text: it is typed without one.
  simSetFailures(kSimFailSource);
  handleLines("TEXT aGk=\n");
  EXPECT_EQ(postedTexts(), std::vector<std::u16string>{u"hi"});
}

}  // namespace
