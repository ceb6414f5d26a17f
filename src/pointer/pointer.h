// The pointer: presses and releases with click counting, clicks, double clicks, moves that drag
// the held button, and scrolling. One Pointer per session owns the click memory, the held buttons,
// the event numbers and the fractions not posted yet; the modifier flags its events carry are
// handed in by the caller, and set on every event, none included, as a real mouse's events carry
// them: a Shift-click extends a selection, a Command-scroll zooms.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/cf_owned.h"
#include "platform/post_event.h"
#include "platform/quartz.h"
#include "pointer/buttons.h"
#include "pointer/event_numbers.h"
#include "pointer/fraction_carry.h"

// The two wheel values of a scroll command, in lines: vertical first, horizontal second. Only the
// sign of amount counts, and zero goes with the negatives.
struct ScrollWheels {
  int32_t vertical;
  int32_t horizontal;
};
ScrollWheels scrollWheels(int32_t amount, bool horizontal);

class Pointer {
 public:
  explicit Pointer(EventPoster& poster) : poster_(poster) {}
  Pointer(const Pointer&) = delete;
  Pointer& operator=(const Pointer&) = delete;

  // The click count of a press at time now (on the steady clock) and point, updating the memory of
  // button, an index (a Button's value; any other counts 1 and is not remembered); requested is the
  // count the command asked for, 0 for none.
  int32_t nextClickCount(int button, Seconds now, CGPoint point, int32_t requested);
  ClickMemory clickMemory(Button button) const { return clicks_[static_cast<int>(button)]; }

  void postButtonDown(Button button, int32_t requested, CGEventFlags flags);
  void postButtonUp(Button button, CGEventFlags flags);
  void postClick(Button button, CGEventFlags flags);
  void postDoubleClick(Button button, CGEventFlags flags);

  // MOVE and MOVERATIO: a plain move, or a drag of the held button; nothing when the target is no
  // number or infinitely far.
  void postMouseMove(double x, double y, CGEventFlags flags);
  void postMouseMoveByRatio(double rx, double ry, CGEventFlags flags);
  // MOVEDISPLAY: as MOVE, to the fractions rx, ry of the active display with this id; nothing when
  // no active display has it now.
  void postMouseMoveOnDisplay(CGDirectDisplayID display, double rx, double ry, CGEventFlags flags);
  // MOVEREL: a move, or a drag, by dx, dy points from the cursor, each axis carrying the fraction
  // it could not post yet; nothing when neither has a whole point to move.
  void postRelativeMouseMove(double dx, double dy, CGEventFlags flags);
  // WHEEL and HWHEEL: three lines, whatever the amount but its sign.
  void postScrollEvent(int32_t amount, bool horizontal, CGEventFlags flags);
  // SCROLL: pixel deltas as a browser's wheel event gives them (dy > 0 toward the end of the
  // document, dx > 0 to the right), each axis carrying the fraction it could not post yet.
  void postPixelScroll(double dx, double dy, CGEventFlags flags);

  // The button whose drag a move continues, the first held in Button's order; false when none is
  // held from a MOUSEDOWN.
  bool heldButtonForDrag(Button* button) const;

  // Releases, as MOUSEUP would, every button still held from a MOUSEDOWN, in Button's order.
  void releaseHeldButtons(CGEventFlags flags);

  EventNumbers& eventNumbers() { return numbers_; }

 private:
  // The motion a move claims, in whole points, as hardware moves report it.
  struct Motion {
    int64_t dx;
    int64_t dy;
  };

  void postClickStroke(Button button, bool press, CGPoint location, int32_t clickState,
                       CGEventFlags flags);
  // A press, the click hold, the release, both with clickState; the button is up afterwards.
  void postClickOnce(Button button, CGPoint location, int32_t clickState, CGEventFlags flags);
  // A plain move to target, or a drag of the held button; motion, when known, in its delta fields.
  void postMotion(CGPoint target, std::optional<Motion> motion, CGEventFlags flags);

  EventPoster& poster_;
  std::array<ClickMemory, kButtonCount> clicks_{};
  // Pressed by MOUSEDOWN and not yet released by MOUSEUP, CLICK or DBLCLICK. Moves drag while any
  // is set, and the session releases what is still set when the host goes away.
  std::array<bool, kButtonCount> held_{};
  EventNumbers numbers_;
  // What SCROLL could not post yet, below a pixel: one carry for dx, one for dy.
  FractionCarry scrollX_;
  FractionCarry scrollY_;
  // What MOVEREL could not move yet, below a point.
  FractionCarry moveX_;
  FractionCarry moveY_;
};
