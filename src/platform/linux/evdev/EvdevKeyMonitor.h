#pragma once

#include <array>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "base/HandlerList.h"
#include "platform/Asio.h"
#include "platform/KeyMonitor.h"
#include "platform/linux/evdev/EvdevKeyTranslator.h"

namespace wrenly {

// What the session lets this user read of the kernel's input devices.
struct KeyboardAccess {
  int devices = 0;    // event nodes present
  int readable = 0;   // of those, the ones this user may open
  int keyboards = 0;  // of those, the ones with keys (or buttons) worth watching
};

// Watches every keyboard (and pointer buttons) through the kernel's event devices, for sessions
// where the display server shows this program no keys of other windows (Wayland). Reading them
// needs membership of the `input` group or an ACL; nothing is changed here to get it. Keyboards
// plugged in later are picked up when their node appears or becomes readable. Lives on the main
// loop; handlers of both scopes are called there.
class EvdevKeyMonitor final : public KeyMonitor {
 public:
  using OwnWindowCheck = std::function<bool()>;

  static KeyboardAccess survey(const std::filesystem::path& folder = "/dev/input");

  EvdevKeyMonitor(asio::any_io_executor mainLoop, OwnWindowCheck ownWindowFocused,
                  std::filesystem::path folder = "/dev/input");
  ~EvdevKeyMonitor() override;
  EvdevKeyMonitor(const EvdevKeyMonitor&) = delete;
  EvdevKeyMonitor& operator=(const EvdevKeyMonitor&) = delete;

  Subscription monitor(Scope scope, Handler handler) override;

  int keyboardsOpen() const { return static_cast<int>(devices_.size()); }

 private:
  struct Device;

  void scan();
  void openNode(const std::string& name);
  void read(Device& device);
  void readRecords(Device& device, size_t bytes);
  void close(int id);
  void watchFolder();
  void deliver(const EvdevKeyTranslator::Events& events);

  asio::any_io_executor mainLoop_;
  OwnWindowCheck ownWindowFocused_;
  std::filesystem::path folder_;
  EvdevKeyTranslator translator_;
  std::map<int, std::unique_ptr<Device>> devices_;
  int nextId_ = 0;
  asio::posix::stream_descriptor folderWatch_;  // inotify
  std::array<char, 4096> folderEvents_{};
  HandlerList<KeyEvent> global_;
  HandlerList<KeyEvent> local_;
  // Held weakly by pending reads, which find it expired once the monitor is gone.
  std::shared_ptr<int> alive_ = std::make_shared<int>();
};

}  // namespace wrenly
