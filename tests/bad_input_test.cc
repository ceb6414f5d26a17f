// Arguments in every bad form: each command reads its numbers as integers (atoi's syntax,
// saturating) or reals (strtod's), buttons and Base64 from whatever bytes come, and answers and
// posts exactly what the protocol says.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/in_process.h"

namespace {

using namespace std::string_literals;
using BadInput = AgentTest<>;

// Every row starts afresh: the cursor at 756,491, the first press of the run numbered 124.
TEST_F(BadInput, ArgumentsInEveryBadForm) {
  const struct {
    const char* name;
    std::string lines;
    std::string replies;
    std::vector<std::string> posted;
  } cases[] = {
      {"integers saturate; reals overflow to infinity, which moves nothing",
       "KEYDOWN 99999999999999999999999\nKEYDOWN 18446744073709551681\n"
       "KEYUP -18446744073709551551\nWHEEL 99999999999999999999\nWHEEL -99999999999999999999\n"
       "HWHEEL 340282366920938463463374607431768211456\nMOUSEDOWN left 99999999999999999999\n"
       "MOUSEUP left\nMOVE 1e400 -1e400\nMOVE 99999999999999999999999999 5\nGETPOS\n",
       "ACK KEYDOWN\nACK KEYDOWN\nACK KEYUP\nACK MOUSEDOWN\nACK MOUSEUP\nPOS 1511 5\n",
       {"scroll -3,0 noflags", "scroll 3,0 noflags", "scroll 0,3 noflags",
        "leftdown @756,491 click 1 #124", "leftup @756,491 click 1 #124",
        "move @inf,-inf d9223372036854775807,-9223372036854775808 noflags",
        "move @1e+26,5 d9223372036854775807,-486 noflags"}},
      {"a sign without digits is 0",
       "KEYDOWN -\nKEYDOWN +\nWHEEL +\nWHEEL -\nHWHEEL -\nHWHEEL +\nMOVE - +\n"
       "MOUSEDOWN middle -\nMOUSEUP middle\nGETPOS\n",
       "ACK KEYDOWN\nACK KEYDOWN\nACK MOUSEDOWN\nACK MOUSEUP\nPOS 0 0\n",
       {"scroll 3,0 noflags", "scroll 3,0 noflags", "scroll 0,-3 noflags", "scroll 0,-3 noflags",
        "move @0,0 d-756,-491 noflags", "otherdown @0,0 click 1 #124",
        "otherup @0,0 click 1 #124"}},
      {"non-finite targets go out as given and leave the cursor where it was; -0 is 0",
       "MOVE inf -inf\nGETPOS\nMOVE -0 -0\nGETPOS\nMOVERATIO nan 0.5\nMOVERATIO -0 -0\n"
       "WHEEL -0\nHWHEEL -0\nKEYDOWN -0\nKEYUP nan\nMOUSEDOWN left nan\nMOVE nan inf\n"
       "MOVE -inf 1e300\nMOUSEUP left\n",
       "POS 756 491\nPOS 0 0\nACK KEYDOWN\nACK KEYUP\nACK MOUSEDOWN\nACK MOUSEUP\n",
       {"move @inf,-inf d9223372036854775807,-9223372036854775808 noflags",
        "move @-0,-0 d-756,-491 noflags", "move @nan,491 d0,491 noflags",
        "move @-0,-0 d0,0 noflags", "scroll 3,0 noflags", "scroll 0,-3 noflags",
        "leftdown @-0,-0 click 1 #124",
        // A drag's deltas are defined for any target: NaN gives 0, infinities the limits.
        "leftdrag @nan,inf click 1 #124 d0,9223372036854775807",
        "leftdrag @-inf,1e+300 click 1 #124 d-9223372036854775808,9223372036854775807",
        "leftup @-0,-0 click 1 #124"}},
      {"reals take hex and exponents; integers stop at the first non-digit",
       "MOVE 0x10 0x1p4\nMOVE 1e2 2.5E1\nMOVE 0X1A .5e1\nMOVERATIO 0x.8p0 5e-1\n"
       "KEYDOWN 0x41\nKEYDOWN 6.5e1\nKEYUP 1e2\nWHEEL 0x5\nWHEEL -1e5\nHWHEEL 1e-5\n"
       "MOUSEDOWN right 0x2\nMOUSEUP right\n",
       "ACK KEYDOWN\nACK KEYDOWN\nACK KEYUP\nACK MOUSEDOWN\nACK MOUSEUP\n",
       {"move @16,16 d-740,-475 noflags", "move @100,25 d84,9 noflags",
        "move @26,5 d-74,-20 noflags", "move @756,491 d730,486 noflags", "scroll 3,0 noflags",
        "scroll 3,0 noflags", "scroll 0,3 noflags", "rightdown @756,491 click 1 #124",
        "rightup @756,491 click 1 #124"}},
      {"numbers skip leading white space and stop at a tab; a NUL ends the line; high bytes are "
       "no button and no number",
       "KEYDOWN 65\t\nKEYUP \t65\nTEXT aGk\0=\nTEXT aGkAaGk=\nKEYDOWN \xff\nMOUSEDOWN \xe9\n"
       "MOUSEUP \xed\xa0\x80\nTEXT \xc3\xa9\nMOVE \t1 \v2\n"s,
       "ACK KEYDOWN\nACK KEYUP\nACK KEYDOWN\nACK MOUSEDOWN\nACK MOUSEUP\n",
       {"keydown 0 hid", "keyup 0 hid", "keydown 0 text 2 'hi'", "keyup 0 text 2 'hi'",
        "keydown 0 text 2 'hi'", "keyup 0 text 2 'hi'", "leftdown @756,491 click 1 #124",
        "leftup @756,491 click 1 #124", "move @1,2 d-755,-489 noflags"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    EXPECT_EQ(handleLines(c.lines), c.replies);
    EXPECT_EQ(takePosted(), c.posted);
  }
}

}  // namespace
