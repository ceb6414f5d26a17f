// Telling macOS the user is active before input is posted: on a Mac whose display has gone to
// sleep, synthesized events alone neither wake it nor hold off the idle timer, as real input does.
#pragma once

#include "timings.h"

// Declares activity at most once a second, however many events follow one another.
class UserActivity {
 public:
  // Declares user activity now (on the steady clock) unless it was declared less than a second
  // before now. The declaration's assertion is released at once.
  void declare(Seconds now);

 private:
  bool declared = false;
  Seconds lastDeclared{0};
};
