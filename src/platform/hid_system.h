// The Mac's own Caps Lock state, which the HID system keeps: a posted Caps Lock key neither locks
// it nor lights the key, so the agent reads and sets the lock itself.
#pragma once

#include <optional>

// A connection to the HID system's parameters, opened at first use and kept until the object goes:
// opening looks the service up in the I/O Registry and makes a kernel connection, work not to
// repeat at every key.
class HidSystem {
 public:
  HidSystem() = default;
  ~HidSystem();
  HidSystem(const HidSystem&) = delete;
  HidSystem& operator=(const HidSystem&) = delete;

  // Whether Caps Lock is on now; none when the HID system cannot be opened or does not answer.
  std::optional<bool> capsLock();

  // Sets Caps Lock with one call, whatever it was; false when the HID system cannot be opened or
  // refuses.
  bool setCapsLock(bool on);

 private:
  bool open();
  void close();

  unsigned int connection_ = 0;  // io_connect_t; 0 while not open
};
