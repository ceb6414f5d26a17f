// Carbon's umbrella header declares hundreds of unprefixed names in the global namespace (a
// function Button(), for one) that would hide the agent's own types in every file that saw them,
// so it stays out of every header: only this file and keyboard/key_code_maps.cc (for the key
// codes' names, compared at compile time) include it.
#include "platform/secure_event_input.h"

#if defined(__APPLE__)
// Without this, Carbon's AssertMacros.h defines macros named check, verify and require.
#define __ASSERT_MACROS_DEFINE_VERSIONS_WITHOUT_UNDERSCORES 0
#include <Carbon/Carbon.h>  // IsSecureEventInputEnabled, HIToolbox, macOS 10.3 and later
#else
#include "platform/quartz.h"  // the simulated desktop's stand-in
#endif

bool secureEventInputEnabled() { return IsSecureEventInputEnabled(); }
