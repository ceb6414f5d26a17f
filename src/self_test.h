// --self-test: the key-flag rules, the HID keyboard source and the click counter, checked in
// process on the commands' own state, without reading input or posting an event.
#pragma once

// Prints the pass line and returns 0, or aborts with the assertion that failed.
int selfTestMain();
