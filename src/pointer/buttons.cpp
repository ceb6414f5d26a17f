#include "pointer/buttons.h"

// Placeholder until buttons land.
CGPoint lastClickPoint[3];
int32_t clickCounts[3];
double lastClickTime[3];

ButtonInfo parseButton(std::string_view) { return {0, kCGEventLeftMouseDown, kCGEventLeftMouseUp}; }
int32_t nextClickCount(int, double, CGPoint, int32_t) { return 1; }
void postButtonDown(std::string_view, int32_t) {}
void postButtonUp(std::string_view) {}
void postClick(std::string_view) {}
void postDoubleClick(std::string_view) {}
int heldButtonForDrag() { return -1; }
void releaseHeldButtons() {}
void resetPointerState() {}
