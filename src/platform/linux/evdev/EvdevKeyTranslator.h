#pragma once

#include <linux/input.h>

#include <cstddef>
#include <map>
#include <set>
#include <span>
#include <vector>

#include "platform/KeyMonitor.h"

namespace wrenly {

// Turns the raw records of the kernel's keyboard devices into the program's key events, across
// every keyboard at once (a modifier held on one and a key typed on another make a combination).
// Keys are named by their physical position, as the kernel does, so right Alt is right Alt
// whatever the layout makes of it (AltGr included); the letters of a chord are those of a US
// keyboard. Auto-repeat is dropped, as the X path never sees it. Pure: no devices, no threads.
class EvdevKeyTranslator {
 public:
  using DeviceId = int;
  using Events = std::vector<KeyEvent>;

  // One record read from `device`.
  Events translate(DeviceId device, const input_event& record);
  // `device` went away (unplugged, or its reads fail): a tap in progress on it does not count,
  // and its keys are released.
  Events deviceGone(DeviceId device);
  // After the kernel dropped records (SYN_DROPPED) the adapter reads the keys really down and
  // hands them here; any tap in progress is cancelled, as its middle is unknown.
  Events resynchronise(DeviceId device, const std::set<unsigned>& keysDown);

  ModifierState held() const;

 private:
  Events release(DeviceId device, const std::set<unsigned>& stillDown);

  std::map<DeviceId, std::set<unsigned>> modifiersDown_;  // kernel key codes, per device
  std::set<DeviceId> dropping_;                           // between SYN_DROPPED and SYN_REPORT
};

// Cuts a byte stream read from a device into whole records, keeping a partial one for the next
// read (reads of a character device return whole records, but a recording need not).
class InputRecordStream {
 public:
  std::vector<input_event> append(std::span<const std::byte> bytes);

 private:
  std::vector<std::byte> partial_;
};

}  // namespace wrenly
