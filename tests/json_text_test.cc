// The one JSON writer behind the trace and the watcher. Both sides of a comparison write through
// it, so a fault here makes them agree with each other and wrong for every other reader: the
// expected bytes are written out by hand.
#include "json_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

// Expected between the quotes: UTF-8 at every length boundary, a pair as one code point, a lone
// surrogate as its escape (so that it reads back as the same unit), quote, backslash and the C0
// controls escaped, and nothing else.
TEST(JsonTextTest, WritesUtf16AsExactUtf8) {
  struct Case {
    std::u16string units;
    std::string json;
  };
  const Case cases[] = {
      {{}, ""},
      {{0x0000}, R"(\u0000)"},
      {{0x001F}, R"(\u001f)"},
      {{0x0020}, " "},
      {{0x0022}, R"(\")"},
      {{0x005C}, R"(\\)"},
      {{0x007F}, "\x7f"},
      {{0x0080}, "\xc2\x80"},
      {{0x07FF}, "\xdf\xbf"},
      {{0x0800}, "\xe0\xa0\x80"},
      {{0xD7FF}, "\xed\x9f\xbf"},
      {{0xE000}, "\xee\x80\x80"},
      {{0xFFFF}, "\xef\xbf\xbf"},
      {{0xD800, 0xDC00}, "\xf0\x90\x80\x80"},
      {{0xD83D, 0xDE00}, "\xf0\x9f\x98\x80"},
      {{0xDBFF, 0xDFFF, u'z'}, "\xf4\x8f\xbf\xbfz"},
      {{0xD800}, R"(\ud800)"},
      {{0xDFFF}, R"(\udfff)"},
      {{0xD83D, u'A'}, R"(\ud83dA)"},
      {{0xDE00, 0xD83D}, R"(\ude00\ud83d)"},
      {{0xD83D, 0xD83D, 0xDE00}, "\\ud83d\xf0\x9f\x98\x80"},
  };
  for (const Case& c : cases) {
    std::string out = ":";  // appended to what the line holds so far
    appendJsonString(&out, reinterpret_cast<const uint16_t*>(c.units.data()), c.units.size());
    EXPECT_EQ(out, ":\"" + c.json + "\"") << testing::PrintToString(c.units);
  }
}

// Coordinates and times: the shortest text that reads back, and null where JSON has no number.
TEST(JsonTextTest, WritesNumbersThatReadBackOrNull) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double value;
    const char* json;
  };
  const Case cases[] = {
      {100, "100"},  {-0.0, "-0"},   {1000.1, "1000.1"}, {1e300, "1e+300"},
      {nan, "null"}, {-nan, "null"}, {inf, "null"},      {-inf, "null"},
  };
  for (const Case& c : cases) {
    std::string out = ":";
    appendJsonNumber(&out, c.value);
    EXPECT_EQ(out, std::string(":") + c.json) << c.value;
    if (std::isfinite(c.value)) {
      const double back = std::strtod(out.c_str() + 1, nullptr);
      EXPECT_EQ(back, c.value) << c.json;
      EXPECT_EQ(std::signbit(back), std::signbit(c.value)) << c.json;
    }
  }
}

}  // namespace
