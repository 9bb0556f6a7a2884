#include "platform/linux/wayland/DataControlClipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/linux/wayland/UniqueFd.h"
#include "platform/linux/wayland/WaylandConnection.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace wrenly {

namespace {

// Text types as X11 and Wayland programs ask for them; the first is the one read back.
constexpr std::array textTypes{"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "TEXT",
                               "STRING"};

// How long the compositor and a reader may take: they answer in milliseconds, and a clipboard
// write must not hang the dictation when one of them is stuck.
constexpr std::chrono::milliseconds answerWait{1000};

bool waitFor(int fd, short events) {
  pollfd watched{fd, events, 0};
  int ready = 0;
  do {
    ready = ::poll(&watched, 1, static_cast<int>(answerWait.count()));
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

void writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size() && waitFor(fd, POLLOUT)) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno != EAGAIN && errno != EINTR) return;
    if (written > 0) done += static_cast<size_t>(written);
  }
}

std::optional<std::string> readAll(int fd) {
  std::string text;
  std::array<char, 4096> buffer;
  for (;;) {
    if (!waitFor(fd, POLLIN)) return std::nullopt;
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got == 0) return text;
    if (got < 0 && errno != EAGAIN && errno != EINTR) return std::nullopt;
    if (got > 0) text.append(buffer.data(), static_cast<size_t>(got));
  }
}

}  // namespace

std::unique_ptr<DataControlClipboard> DataControlClipboard::open(WaylandConnection& connection) {
  if (!connection.dataControl() || !connection.seat()) return nullptr;
  std::unique_ptr<DataControlClipboard> clipboard(new DataControlClipboard(connection));
  static const zwlr_data_control_device_v1_listener listener{
      .data_offer = &DataControlClipboard::dataOffer,
      .selection = &DataControlClipboard::selection,
      .finished = &DataControlClipboard::finished,
      .primary_selection = &DataControlClipboard::primarySelection};
  clipboard->device_ =
      zwlr_data_control_manager_v1_get_data_device(connection.dataControl(), connection.seat());
  zwlr_data_control_device_v1_add_listener(clipboard->device_, &listener, clipboard.get());
  if (!connection.flush()) return nullptr;
  return clipboard;
}

DataControlClipboard::~DataControlClipboard() {
  // The connection's thread may still be in a handler: everything below is under the lock.
  std::lock_guard lock(mutex_);
  for (auto& [source, text] : sources_) zwlr_data_control_source_v1_destroy(source);
  sources_.clear();
  if (selection_) zwlr_data_control_offer_v1_destroy(selection_);
  if (device_) zwlr_data_control_device_v1_destroy(device_);
  connection_.flush();
}

bool DataControlClipboard::writeString(const std::string& text) {
  static const zwlr_data_control_source_v1_listener listener{
      .send = &DataControlClipboard::send, .cancelled = &DataControlClipboard::cancelled};
  std::unique_lock lock(mutex_);
  if (!device_) return false;
  zwlr_data_control_source_v1* source =
      zwlr_data_control_manager_v1_create_data_source(connection_.dataControl());
  zwlr_data_control_source_v1_add_listener(source, &listener, this);
  for (const char* type : textTypes) zwlr_data_control_source_v1_offer(source, type);
  sources_.emplace(source, text);
  const uint64_t before = selections_;
  zwlr_data_control_device_v1_set_selection(device_, source);
  if (!connection_.flush()) return false;
  // The compositor announces every new clipboard, ours included, to every data-control client.
  if (!selectionChanged_.wait_for(lock, answerWait,
                                  [&] { return selections_ != before && selection_; })) {
    return false;
  }
  // Another program may have taken the clipboard in between: only the content read back counts.
  return readSelection(lock) == text;
}

std::optional<std::string> DataControlClipboard::readSelection(std::unique_lock<std::mutex>& lock) {
  if (!selection_) return std::nullopt;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return std::nullopt;
  UniqueFd reading(ends[0]);
  UniqueFd writing(ends[1]);
  zwlr_data_control_offer_v1_receive(selection_, textTypes[0], writing.get());
  if (!connection_.flush()) return std::nullopt;
  writing.reset();
  // The connection's thread answers the request (from our own source) while this one reads.
  lock.unlock();
  std::optional<std::string> text = readAll(reading.get());
  lock.lock();
  return text;
}

void DataControlClipboard::dataOffer(void*, zwlr_data_control_device_v1*,
                                     zwlr_data_control_offer_v1*) {
  // The offer is announced again by the selection event that follows; kept from there.
}

void DataControlClipboard::selection(void* self, zwlr_data_control_device_v1*,
                                     zwlr_data_control_offer_v1* offer) {
  auto& clipboard = *static_cast<DataControlClipboard*>(self);
  {
    std::lock_guard lock(clipboard.mutex_);
    if (clipboard.selection_ && clipboard.selection_ != offer) {
      zwlr_data_control_offer_v1_destroy(clipboard.selection_);
    }
    clipboard.selection_ = offer;
    ++clipboard.selections_;
  }
  clipboard.selectionChanged_.notify_all();
}

void DataControlClipboard::finished(void* self, zwlr_data_control_device_v1* device) {
  auto& clipboard = *static_cast<DataControlClipboard*>(self);
  std::lock_guard lock(clipboard.mutex_);
  zwlr_data_control_device_v1_destroy(device);
  clipboard.device_ = nullptr;
}

void DataControlClipboard::send(void* self, zwlr_data_control_source_v1* source, const char*,
                                int fd) {
  UniqueFd target(fd);
  auto& clipboard = *static_cast<DataControlClipboard*>(self);
  std::string text;
  {
    std::lock_guard lock(clipboard.mutex_);
    auto found = clipboard.sources_.find(source);
    if (found == clipboard.sources_.end()) return;
    text = found->second;
  }
  // Every type offered is the same UTF-8 text.
  ::fcntl(target.get(), F_SETFL, ::fcntl(target.get(), F_GETFL) | O_NONBLOCK);
  writeAll(target.get(), text);
}

void DataControlClipboard::cancelled(void* self, zwlr_data_control_source_v1* source) {
  auto& clipboard = *static_cast<DataControlClipboard*>(self);
  std::lock_guard lock(clipboard.mutex_);
  // Another clipboard replaced ours: nobody will ask for this text again.
  if (clipboard.sources_.erase(source) > 0) zwlr_data_control_source_v1_destroy(source);
}

}  // namespace wrenly
