#include "platform/linux/evdev/EvdevKeyMonitor.h"

#include <fcntl.h>
#include <linux/input.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <boost/asio/read.hpp>
#include <climits>
#include <set>
#include <vector>

namespace wrenly {

namespace {

constexpr size_t bitsPerWord = sizeof(unsigned long) * CHAR_BIT;
using KeyBits = std::array<unsigned long, (KEY_MAX + bitsPerWord) / bitsPerWord>;

bool bitSet(const KeyBits& bits, unsigned code) {
  return (bits[code / bitsPerWord] >> (code % bitsPerWord)) & 1UL;
}

// Keyboards have letters or modifiers; pointers have a left button (a click while the trigger
// key is held must cancel the tap). Other devices (power buttons, lid switches) are left alone.
bool worthWatching(int fd) {
  KeyBits bits{};
  if (ioctl(fd, EVIOCGBIT(EV_KEY, sizeof bits), bits.data()) < 0) return false;
  return bitSet(bits, KEY_A) || bitSet(bits, KEY_RIGHTALT) || bitSet(bits, KEY_LEFTCTRL) ||
         bitSet(bits, BTN_LEFT);
}

std::set<unsigned> keysDown(int fd) {
  KeyBits bits{};
  std::set<unsigned> down;
  if (ioctl(fd, EVIOCGKEY(sizeof bits), bits.data()) < 0) return down;
  for (unsigned code = 0; code <= KEY_MAX; ++code) {
    if (bitSet(bits, code)) down.insert(code);
  }
  return down;
}

bool isEventNode(const std::string& name) {
  return name.starts_with("event");
}

int openReadOnly(const std::filesystem::path& path) {
  return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
}

}  // namespace

struct EvdevKeyMonitor::Device {
  Device(const asio::any_io_executor& executor, int fd, int deviceId, std::string nodeName)
      : stream(executor, fd), id(deviceId), name(std::move(nodeName)) {}

  asio::posix::stream_descriptor stream;  // owns the descriptor
  int id;
  std::string name;
  InputRecordStream records;
  std::array<std::byte, 64 * sizeof(input_event)> buffer{};
};

KeyboardAccess EvdevKeyMonitor::survey(const std::filesystem::path& folder) {
  KeyboardAccess access;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (!isEventNode(entry.path().filename().string())) continue;
    ++access.devices;
    const int fd = openReadOnly(entry.path());
    if (fd < 0) continue;
    ++access.readable;
    if (worthWatching(fd)) ++access.keyboards;
    ::close(fd);
  }
  return access;
}

EvdevKeyMonitor::EvdevKeyMonitor(asio::any_io_executor mainLoop, OwnWindowCheck ownWindowFocused,
                                 std::filesystem::path folder)
    : mainLoop_(std::move(mainLoop)),
      ownWindowFocused_(std::move(ownWindowFocused)),
      folder_(std::move(folder)),
      folderWatch_(mainLoop_) {
  // The folder is watched before it is read, so a keyboard plugged in between is not missed.
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch >= 0) {
    folderWatch_.assign(watch);
    if (inotify_add_watch(watch, folder_.c_str(), IN_CREATE | IN_ATTRIB) >= 0) watchFolder();
  }
  scan();
}

EvdevKeyMonitor::~EvdevKeyMonitor() = default;

Subscription EvdevKeyMonitor::monitor(Scope scope, Handler handler) {
  return (scope == Scope::global ? global_ : local_).add(std::move(handler));
}

void EvdevKeyMonitor::scan() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
    openNode(entry.path().filename().string());
  }
}

void EvdevKeyMonitor::openNode(const std::string& name) {
  if (!isEventNode(name)) return;
  for (const auto& [id, device] : devices_) {
    if (device->name == name) return;
  }
  const int fd = openReadOnly(folder_ / name);
  if (fd < 0) return;  // not ours to read (yet: udev may grant it a moment later)
  if (!worthWatching(fd)) {
    ::close(fd);
    return;
  }
  const int id = nextId_++;
  auto device = std::make_unique<Device>(mainLoop_, fd, id, name);
  Device& added = *device;
  devices_.emplace(id, std::move(device));
  read(added);
}

void EvdevKeyMonitor::read(Device& device) {
  device.stream.async_read_some(asio::buffer(device.buffer),
                                [this, weak = std::weak_ptr<int>(alive_), id = device.id](
                                    boost::system::error_code error, size_t bytes) {
                                  if (weak.expired() || error == asio::error::operation_aborted)
                                    return;
                                  auto found = devices_.find(id);
                                  if (found == devices_.end()) return;
                                  if (error) return close(id);  // unplugged: ENODEV
                                  readRecords(*found->second, bytes);
                                  // A handler may have ended this monitor's use of the device
                                  // meanwhile.
                                  if (!weak.expired() && devices_.contains(id))
                                    read(*devices_.at(id));
                                });
}

void EvdevKeyMonitor::readRecords(Device& device, size_t bytes) {
  bool dropped = false;
  for (const input_event& record : device.records.append(std::span(device.buffer.data(), bytes))) {
    if (record.type == EV_SYN && record.code == SYN_DROPPED) dropped = true;
    deliver(translator_.translate(device.id, record));
  }
  if (dropped) {
    deliver(translator_.resynchronise(device.id, keysDown(device.stream.native_handle())));
  }
}

void EvdevKeyMonitor::close(int id) {
  devices_.erase(id);
  deliver(translator_.deviceGone(id));
}

void EvdevKeyMonitor::watchFolder() {
  folderWatch_.async_read_some(
      asio::buffer(folderEvents_),
      [this, weak = std::weak_ptr<int>(alive_)](boost::system::error_code error, size_t bytes) {
        if (weak.expired() || error) return;
        for (size_t at = 0; at + sizeof(inotify_event) <= bytes;) {
          const auto* event = reinterpret_cast<const inotify_event*>(folderEvents_.data() + at);
          if (event->len > 0) openNode(event->name);
          at += sizeof(inotify_event) + event->len;
        }
        watchFolder();
      });
}

void EvdevKeyMonitor::deliver(const EvdevKeyTranslator::Events& events) {
  for (const KeyEvent& event : events) {
    const bool local = ownWindowFocused_ && ownWindowFocused_();
    (local ? local_ : global_).call(event);
  }
}

}  // namespace wrenly
