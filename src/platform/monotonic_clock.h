// The clock every interval is measured on: the settle time at the way out, the double-click window
// and the pace of user-activity declarations. The wall clock (CFAbsoluteTimeGetCurrent) can be
// stepped by NTP or by a person at any moment; this one only moves forward, at a steady rate.
#pragma once

#include "timings.h"

// Since an arbitrary start (the Mac's boot), never going back.
Seconds monotonicSeconds();
