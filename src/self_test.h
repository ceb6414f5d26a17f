// --self-test: the key-flag rules, the HID keyboard source and the click counter, checked in
// process on the commands' own state, without reading input or posting an event.
#pragma once

#include "session.h"

namespace selftest {

// The self-test mode's main, on a session nothing has used yet: prints the pass line and returns
// 0 (1 when the line could not be written), or aborts with the assertion that failed, which names
// this function main.
int main(Session& session);

}  // namespace selftest
