#include "pointer/motion.h"

// Placeholder until motion lands.
void postMouseMove(double, double) {}
void postMouseMoveByRatio(double, double) {}
void postScrollEvent(int32_t, bool) {}
bool queryCursorPosition(int* x, int* y) {
  *x = 0;
  *y = 0;
  return true;
}
void queryMainDisplaySize(int* width, int* height) {
  *width = 1920;
  *height = 1080;
}
