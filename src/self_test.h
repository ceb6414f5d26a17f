// --self-test: the key-flag rules, the HID keyboard source and the click counter, checked in
// process on the commands' own state, without reading input or posting an event.
#pragma once

namespace selftest {

// The self-test mode's main: prints the pass line and returns 0, or aborts with the assertion that
// failed, which names this function main.
int main();

}  // namespace selftest
