#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <fstream>

#include "platform/linux/evdev/EvdevKeyMonitor.h"
#include "support/LoopDriver.h"
#include "support/ManualClock.h"
#include "support/TemporaryDirectory.h"
#include "support/desktop/FakeDesktop.h"
#include "triggerkey/TriggerKeyDetector.h"

using namespace wrenly;

namespace {

// One keyboard performance as the kernel records it: (device, type, code, value) records, each
// key change followed by its SYN_REPORT as a real keyboard sends, or a device going away.
struct Record {
  int device;
  uint16_t type;
  uint16_t code;
  int32_t value;
};
constexpr uint16_t removed = 0xffff;  // not a record: the device went away

std::vector<Record> key(int device, uint16_t code, int32_t value) {
  return {{device, EV_MSC, MSC_SCAN, 0x700e6},
          {device, EV_KEY, code, value},
          {device, EV_SYN, SYN_REPORT, 0}};
}
std::vector<Record> operator+(std::vector<Record> a, const std::vector<Record>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
std::vector<Record> tap(int device, uint16_t code) {
  return key(device, code, 1) + key(device, code, 0);
}

// The bytes one device would hand to read(), cut at `chunk` bytes to cross record boundaries.
std::vector<std::vector<std::byte>> bytesOf(const std::vector<Record>& records, int device,
                                            size_t chunk) {
  std::vector<std::byte> all;
  for (const Record& r : records) {
    if (r.device != device || r.type == removed) continue;
    input_event event{};
    event.type = r.type;
    event.code = r.code;
    event.value = r.value;
    const auto* raw = reinterpret_cast<const std::byte*>(&event);
    all.insert(all.end(), raw, raw + sizeof event);
  }
  std::vector<std::vector<std::byte>> chunks;
  for (size_t at = 0; at < all.size(); at += chunk) {
    chunks.emplace_back(
        all.begin() + static_cast<std::ptrdiff_t>(at),
        all.begin() + static_cast<std::ptrdiff_t>(std::min(all.size(), at + chunk)));
  }
  return chunks;
}

struct Row {
  std::string name;
  std::vector<Record> records;
  std::vector<TriggerKey> expected;
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

struct EvdevKeys : testing::TestWithParam<Row> {
  asio::io_context loop;
  ManualClock clock;
  FakeDesktop desktop{loop.get_executor(), clock};
  LoopDriver driver{loop, &clock};
  std::vector<TriggerKey> detected;
  TriggerKeyDetector detector{desktop.platform(),
                              [this](TriggerKey key) { detected.push_back(key); }};
  EvdevKeyTranslator translator;

  void send(const EvdevKeyTranslator::Events& events) {
    for (const KeyEvent& event : events) desktop.keyMonitor.send(KeyMonitor::Scope::global, event);
  }
  // Each device's records go through its own byte stream, read in awkward pieces, interleaved
  // with the other devices' in the order they were recorded.
  void play(const std::vector<Record>& records, size_t chunk) {
    std::map<int, InputRecordStream> streams;
    std::map<int, std::vector<input_event>> parsed;
    std::map<int, size_t> next;
    for (const Record& r : records) {
      if (r.type == removed || parsed.contains(r.device)) continue;
      for (const auto& bytes : bytesOf(records, r.device, chunk)) {
        for (const auto& event : streams[r.device].append(bytes)) {
          parsed[r.device].push_back(event);
        }
      }
    }
    std::map<int, unsigned> keyDownAfterDrop;
    for (const Record& r : records) {
      if (r.type == removed) {
        send(translator.deviceGone(r.device));
        continue;
      }
      send(translator.translate(r.device, parsed[r.device][next[r.device]++]));
      // After the read that said records were dropped, the adapter asks the device which keys
      // are down (here: the one the recording names in the drop's value).
      if (r.type == EV_SYN && r.code == SYN_DROPPED) keyDownAfterDrop[r.device] = r.value;
      if (r.type == EV_SYN && r.code == SYN_REPORT && keyDownAfterDrop.contains(r.device)) {
        send(translator.resynchronise(r.device, {keyDownAfterDrop[r.device]}));
        keyDownAfterDrop.erase(r.device);
      }
    }
    driver.settle();
  }
};

TEST_P(EvdevKeys, DetectorSeesTheSameTapsAsOnX11) {
  for (size_t chunk : {sizeof(input_event), size_t{7}, size_t{4096}}) {
    SCOPED_TRACE(chunk);
    detected.clear();
    translator = {};
    ASSERT_TRUE(detector.install(TriggerKey::rightAlt));
    play(GetParam().records, chunk);
    EXPECT_EQ(detected, GetParam().expected);
    EXPECT_TRUE(translator.held().empty());
  }
}

// Device 0 is a keyboard, 1 a second keyboard, 2 a mouse.
std::vector<Row> rows() {
  const auto right = TriggerKey::rightAlt;
  const std::vector<Record> repeat = {{0, EV_KEY, KEY_RIGHTALT, 2}, {0, EV_SYN, SYN_REPORT, 0}};
  const std::vector<Record> click = {{2, EV_KEY, BTN_LEFT, 1},
                                     {2, EV_SYN, SYN_REPORT, 0},
                                     {2, EV_KEY, BTN_LEFT, 0},
                                     {2, EV_SYN, SYN_REPORT, 0}};
  const auto altDown = key(0, KEY_RIGHTALT, 1), altUp = key(0, KEY_RIGHTALT, 0);
  return {
      {"RightAltTap", tap(0, KEY_RIGHTALT), {right}},
      {"LeftCtrlTap", tap(0, KEY_LEFTCTRL), {TriggerKey::leftControl}},
      {"HeldWithAutoRepeat", altDown + repeat + repeat + altUp, {right}},
      {"AltShortcut", altDown + tap(0, KEY_F) + altUp, {}},
      {"ChordKeysOnAnotherKeyboard", altDown + tap(1, KEY_R) + altUp, {}},
      {"TapsOnTwoKeyboards", tap(0, KEY_RIGHTALT) + tap(1, KEY_RIGHTALT), {right, right}},
      {"ModifierOnEachKeyboard", altDown + tap(1, KEY_LEFTSHIFT) + altUp, {}},
      {"ClickWhileHeld", altDown + click + altUp, {}},
      {"ClickAloneIgnored", click + tap(0, KEY_RIGHTALT), {right}},
      {"UnpluggedMidTap",
       altDown + std::vector<Record>{{0, removed, 0, 0}} + tap(1, KEY_RIGHTALT),
       {right}},
      {"ReleaseNeverSeenPressed", altUp, {}},
      {"DroppedRecordsMidTap",
       altDown +
           std::vector<Record>{{0, EV_SYN, SYN_DROPPED, KEY_RIGHTALT},
                               {0, EV_KEY, KEY_A, 1},  // lost in the overflow
                               {0, EV_SYN, SYN_REPORT, 0}} +
           altUp + tap(0, KEY_RIGHTALT),
       {right}},
  };
}

INSTANTIATE_TEST_SUITE_P(Recorded, EvdevKeys, testing::ValuesIn(rows()),
                         [](const auto& row) { return row.param.name; });

TEST(EvdevKeyMonitorTest, SurveyCountsNodesItCannotUseAsKeyboards) {
  TemporaryDirectory folder;
  for (const char* name : {"event0", "event1", "mouse0"}) {
    std::ofstream(folder.path() / name) << "";
  }
  // Plain files answer no device queries: present and readable, but no keyboards.
  const KeyboardAccess access = EvdevKeyMonitor::survey(folder.path());
  EXPECT_EQ(access.devices, 2);
  EXPECT_EQ(access.keyboards, 0);
  EXPECT_EQ(EvdevKeyMonitor::survey(folder.path() / "missing").devices, 0);
}

}  // namespace
