// Number conversions shared by the subsystems, the simulated desktop and the event watcher.
#pragma once

#include <cstdint>
#include <string>

// A double converted to int by truncation toward zero, defined for every input: NaN gives 0, values
// beyond the int range give its nearest limit.
int truncateToInt(double value);

// The same for the 64-bit integer fields of events.
int64_t truncateToInt64(double value);

// The shortest decimal text that reads back (strtod) as exactly value: in plain digits or in
// exponent form ("1e+20", "1.5e-07"), whichever is shorter, plain on a tie; "inf", "-inf", "nan"
// and "-nan" for the others. This is what std::to_chars gives, which Apple's libc++ offers for
// doubles only from macOS 13.3 on.
std::string shortestDecimal(double value);
