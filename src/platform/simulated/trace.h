// The trace: one JSON line per posted event, then, at exit, what was never released.
#pragma once

#include "platform/simulated/simulation.h"

namespace simulated {

// Opens (appending) the trace named by MII_SIM_TRACE; false when it cannot.
bool openTrace(const char* path);
bool traceIsOpen();
void writeTraceLine(const SimEvent& posted);

}  // namespace simulated
