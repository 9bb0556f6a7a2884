#include <gtest/gtest.h>

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <deque>
#include <fstream>
#include <tuple>

#include "messages/Messages.h"
#include "platform/linux/evdev/EvdevKeyMonitor.h"
#include "support/LoopDriver.h"
#include "support/ManualClock.h"
#include "support/TemporaryDirectory.h"
#include "support/desktop/FakeDesktop.h"
#include "triggerkey/HoldGesture.h"
#include "triggerkey/TriggerKeyDetector.h"

using namespace wrenly;

namespace {

using enum KeySide;
using Keys = std::vector<TriggerKey>;
using Scope = KeyMonitor::Scope;
using Script = KeyEventScript;

TEST(TriggerKeyTest, NineKeysWithTheirStoredNamesPhysicalKeysAndTitlesAndNoOthers) {
  struct Row {
    TriggerKey key;
    const char* rawValue;
    const char* title;
    std::optional<Key> physical;
    KeySide side;
  };
  const Row rows[] = {
      {TriggerKey::rightAlt, "rightOption", Messages::rightAltTitle, Key::alt, right},
      {TriggerKey::leftAlt, "leftOption", Messages::leftAltTitle, Key::alt, left},
      {TriggerKey::rightShift, "rightShift", Messages::rightShiftTitle, Key::shift, right},
      {TriggerKey::leftShift, "leftShift", Messages::leftShiftTitle, Key::shift, left},
      {TriggerKey::rightControl, "rightControl", Messages::rightControlTitle, Key::control, right},
      {TriggerKey::leftControl, "leftControl", Messages::leftControlTitle, Key::control, left},
      {TriggerKey::rightCommand, "rightCommand", Messages::rightSuperTitle, Key::super, right},
      {TriggerKey::leftCommand, "leftCommand", Messages::leftSuperTitle, Key::super, left},
      {TriggerKey::optionCommandR, "optionCommandR", Messages::altSuperRTitle, std::nullopt,
       unknown},
  };
  ASSERT_EQ(TriggerKey::allCases().size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.rawValue);
    EXPECT_EQ(TriggerKey::allCases()[i], row.key);
    EXPECT_EQ(row.key.rawValue(), row.rawValue);
    EXPECT_EQ(row.key.title(), row.title);
    EXPECT_EQ(row.key.key(), row.physical);
    EXPECT_EQ(row.key.side(), row.side);
    EXPECT_EQ(TriggerKey::fromRawValue(row.rawValue), row.key);
    if (row.physical) {
      EXPECT_EQ(TriggerKey::fromModifierKey(*row.physical, row.side), row.key);
    }
  }
  // Unknown names and keys give none; the chord is no modifier key.
  for (const char* name : {"", "RightOption", "rightAlt"}) {
    EXPECT_FALSE(TriggerKey::fromRawValue(name));
  }
  for (auto [key, side] : {std::pair{Key::alt, unknown},
                           {Key::r, unknown},
                           {Key::capsLock, left},
                           {Key::other, right}}) {
    EXPECT_FALSE(TriggerKey::fromModifierKey(key, side));
  }
  EXPECT_STREQ(TriggerKey::preference, "recordingShortcut");
}

TEST(HoldGesture, AHoldFinishesOnlyWhenLongAndAlone) {
  using enum TriggerPress;
  using enum HoldAction;
  // Each step: milliseconds waited, what the key did, what the hold asks for. A hold of at
  // least the shortest; a tap; a key or click while held; a release or a key with no press; a
  // second press after a release went unseen.
  const std::vector<std::vector<std::tuple<int, TriggerPress, HoldAction>>> rows = {
      {{0, began, start}, {300, released, finish}},
      {{0, began, start}, {299, released, cancel}},
      {{0, began, start}, {900, combined, cancel}, {900, released, none}},
      {{0, released, none}, {0, combined, none}},
      {{0, began, start}, {5000, began, start}, {100, released, cancel}},
  };
  for (size_t row = 0; row < rows.size(); ++row) {
    ManualClock clock;
    HoldGesture hold(clock);
    for (auto [wait, press, action] : rows[row]) {
      clock.advance(std::chrono::milliseconds(wait));
      EXPECT_EQ(hold.on(press), action) << "row " << row << " after " << wait;
    }
  }
}

struct TriggerKeyDetectorTest : testing::Test {
  asio::io_context loop;
  ManualClock clock;
  FakeDesktop desktop{loop.get_executor(), clock};
  LoopDriver driver{loop, &clock};
  Keys detected;
  std::vector<TriggerPress> presses;
  std::unique_ptr<TriggerKeyDetector> hotKey = std::make_unique<TriggerKeyDetector>(
      desktop.platform(), [this](TriggerKey key) { detected.push_back(key); },
      [this](TriggerPress press) {
        presses.push_back(press);
        // A key's press (not the chord's) was reported after its unused key went out.
        if (press == TriggerPress::began && desktop.chords.registrations() == 0) {
          EXPECT_EQ(desktop.keyInjector.keys().size(),
                    static_cast<size_t>(std::ranges::count(presses, TriggerPress::began)));
        }
      });

  // The detector reports on the main loop only, never from inside the key monitor.
  Keys play(const Script& script) {
    detected.clear();
    script.play(desktop.keyMonitor);
    EXPECT_TRUE(detected.empty());
    settle();
    return detected;
  }
  void settle() { driver.settle(); }
  size_t monitors() {
    return desktop.keyMonitor.monitors(Scope::global) + desktop.keyMonitor.monitors(Scope::local);
  }
};

// Only lone taps are reported. A press of the installed key that begins alone has an unused key
// tapped before anyone hears of it, so applications do not take its release for a lone Alt;
// other keys are left alone.
struct Row {
  std::string name;
  Script script;
  Keys detected = {};
  std::vector<TriggerPress> presses = {};
  size_t unusedKeyTaps = 0;
  TriggerKey installed = TriggerKey::rightAlt;
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

struct DetectorTable : TriggerKeyDetectorTest, testing::WithParamInterface<Row> {};

TEST_P(DetectorTable, ReportsLoneTapsAndTapsAnUnusedKeyForTheInstalledKeyHeldAlone) {
  ASSERT_TRUE(hotKey->install(GetParam().installed));
  EXPECT_EQ(play(GetParam().script), GetParam().detected);
  EXPECT_EQ(presses, GetParam().presses);
  EXPECT_EQ(desktop.keyInjector.keys().size(), GetParam().unusedKeyTaps);
  EXPECT_TRUE(hotKey->keysDown().empty());
}

std::vector<Row> detectorRows() {
  using enum TriggerPress;
  const TriggerKey alt = TriggerKey::rightAlt, shift = TriggerKey::leftShift,
                   command = TriggerKey::leftCommand;
  const auto altHeld = ModifierState().hold(Key::alt, KeySide::right);
  std::vector<Row> rows = {
      {"OutOfOrderReleases", Script().press(shift).press(alt).release(shift).release(alt)},
      {"BothShiftsFamilyBitOnly",
       Script().withoutDeviceBits().press(shift).tap(TriggerKey::rightShift).release(shift)},
      {"OtherModifierKeysIgnored",
       Script()
           .change(Key::capsLock, KeySide::unknown, ModifierState().hold(Key::capsLock))
           .press(alt)
           .change(Key::other, KeySide::unknown, altHeld)
           .release(alt),
       {alt},
       {began, released},
       1},
      {"ReleaseNeverSeenPressed", Script().change(Key::alt, KeySide::right, {})},
      {"TapsAfterAChord",
       Script().press(command).type().release(command).tap(command).tap(shift),
       {command, shift}},
      {"ThroughTheLocalMonitor", Script().in(Scope::local).tap(alt), {alt}, {began, released}, 1},
      {"ShortcutOrAltGrLetter", Script().press(alt).type().release(alt), {}, {began, combined}, 1},
      {"AnotherModifierJoins",
       Script().press(alt).tap(shift).release(alt),
       {},
       {began, combined},
       1},
      {"ClickWhileHeld", Script().press(alt).type().type().release(alt), {}, {began, combined}, 1},
      {"InsideAnotherModifier", Script().press(shift).tap(alt).release(shift)},
      {"RepeatedPressTapsOnce",
       Script().press(alt).change(Key::alt, KeySide::right, altHeld).release(alt),
       {alt},
       {began, released},
       1},
      {"TwoTaps", Script().tap(alt).tap(alt), {alt, alt}, {began, released, began, released}, 2},
      {"ChordInstalled", Script().tap(alt), {alt}, {}, 0, TriggerKey::optionCommandR},
  };
  for (auto key : TriggerKey::allCases()) {
    if (key == TriggerKey::optionCommandR) continue;
    const std::string name(key.rawValue());
    // Only the installed key's press is reported and has an unused key tapped.
    const size_t taps = key == alt ? 1 : 0;
    const auto pressed = taps ? std::vector{began, released} : std::vector<TriggerPress>{};
    rows.push_back({"LoneTapOf_" + name, Script().tap(key), {key}, pressed, taps});
    rows.push_back({"FamilyBitOnlyTapOf_" + name,
                    Script().withoutDeviceBits().tap(key),
                    {key},
                    pressed,
                    taps});
  }
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Rows, DetectorTable, testing::ValuesIn(detectorRows()),
                         [](const auto& row) { return row.param.name; });

TEST_F(TriggerKeyDetectorTest, ChordOnlyWhenChosenAndInstallingAgainStartsAfresh) {
  ASSERT_TRUE(hotKey->install(TriggerKey::rightAlt));
  EXPECT_EQ(desktop.chords.registrations(), 0u);

  ASSERT_TRUE(hotKey->install(TriggerKey::optionCommandR));
  desktop.chords.press(TriggerKeyDetector::chord);
  EXPECT_TRUE(detected.empty());  // not before the main loop runs
  settle();
  EXPECT_EQ(detected, Keys{TriggerKey::optionCommandR});
  EXPECT_EQ(play(Script().tap(TriggerKey::leftShift)), Keys{TriggerKey::leftShift});

  // Installing again starts afresh.
  play(Script().press(TriggerKey::rightAlt));
  ASSERT_TRUE(hotKey->install(TriggerKey::optionCommandR));
  EXPECT_EQ(monitors(), 2u);
  EXPECT_EQ(desktop.chords.registrations(), 1u);
  // A release the new installation never saw pressed reports nothing.
  EXPECT_TRUE(play(Script().release(TriggerKey::rightAlt)).empty());
  EXPECT_EQ(play(Script().tap(TriggerKey::rightAlt)), Keys{TriggerKey::rightAlt});
}

TEST_F(TriggerKeyDetectorTest, FailedInstallLeavesNothingInstalled) {
  desktop.setTrusted(false);
  EXPECT_FALSE(hotKey->install(TriggerKey::optionCommandR));
  EXPECT_TRUE(play(Script().tap(TriggerKey::rightAlt)).empty());
  desktop.setTrusted(true);

  desktop.keyMonitor.refuse(Scope::local);
  EXPECT_FALSE(hotKey->install(TriggerKey::rightAlt));
  EXPECT_EQ(monitors(), 0u);

  desktop.keyMonitor.refuse(std::nullopt);
  desktop.chords.refuse();
  EXPECT_FALSE(hotKey->install(TriggerKey::optionCommandR));
  EXPECT_FALSE(hotKey->isInstalled());
  EXPECT_EQ(monitors(), 0u);
  EXPECT_EQ(desktop.chords.registrations(), 0u);
}

TEST_F(TriggerKeyDetectorTest, EventsQueuedBeforeUninstallOrDestructionAreDropped) {
  for (bool destroy : {false, true}) {
    ASSERT_TRUE(hotKey->install(TriggerKey::optionCommandR));
    Script().tap(TriggerKey::rightAlt).play(desktop.keyMonitor);
    desktop.chords.press(TriggerKeyDetector::chord);
    destroy ? hotKey.reset() : hotKey->uninstall();
    settle();
    EXPECT_TRUE(detected.empty());
    EXPECT_EQ(monitors(), 0u);
    EXPECT_EQ(desktop.chords.registrations(), 0u);
  }
}

TEST_F(TriggerKeyDetectorTest, CallbackMayReinstallFromInsideADetection) {
  std::unique_ptr<TriggerKeyDetector> reinstalling;
  int reports = 0;
  reinstalling = std::make_unique<TriggerKeyDetector>(desktop.platform(), [&](TriggerKey key) {
    ++reports;
    reinstalling->install(key);  // set-up picks the key the user just pressed
  });
  ASSERT_TRUE(reinstalling->install(TriggerKey::rightAlt));
  Script()
      .in(Scope::local)
      .tap(TriggerKey::leftControl)
      .tap(TriggerKey::leftControl)
      .play(desktop.keyMonitor);
  settle();
  EXPECT_EQ(reports, 2);
  EXPECT_EQ(desktop.keyMonitor.monitors(Scope::local), 1u);
}

// Keyboards read from the kernel's devices: one keyboard performance as the kernel records it,
// (device, type, code, value) records, each key change followed by its SYN_REPORT as a real
// keyboard sends, or a device going away.
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

// One device's records as the bytes read() hands over, cut at `chunk` bytes to cross record
// boundaries, and parsed back by that device's own record stream.
std::deque<input_event> readBack(const std::vector<Record>& records, int device, size_t chunk) {
  std::vector<std::byte> bytes;
  for (const Record& r : records) {
    if (r.device != device || r.type == removed) continue;
    input_event event{};
    event.type = r.type;
    event.code = r.code;
    event.value = r.value;
    const auto* raw = reinterpret_cast<const std::byte*>(&event);
    bytes.insert(bytes.end(), raw, raw + sizeof event);
  }
  InputRecordStream stream;
  std::deque<input_event> events;
  for (size_t at = 0; at < bytes.size(); at += chunk) {
    std::ranges::copy(
        stream.append(std::span(bytes).subspan(at, std::min(chunk, bytes.size() - at))),
        std::back_inserter(events));
  }
  return events;
}

struct Recording {
  std::string name;
  std::vector<Record> records;
  Keys expected;
};

void PrintTo(const Recording& recording, std::ostream* out) {
  *out << recording.name;
}

struct EvdevKeys : TriggerKeyDetectorTest, testing::WithParamInterface<Recording> {
  EvdevKeyTranslator translator;

  void send(const EvdevKeyTranslator::Events& events) {
    for (const KeyEvent& event : events) desktop.keyMonitor.send(Scope::global, event);
  }
  // The devices' records interleaved in the order they were recorded.
  void replay(const std::vector<Record>& records, size_t chunk) {
    std::map<int, std::deque<input_event>> parsed;
    for (int device : {0, 1, 2}) parsed[device] = readBack(records, device, chunk);
    std::map<int, unsigned> keyDownAfterDrop;
    for (const Record& r : records) {
      if (r.type == removed) {
        send(translator.deviceGone(r.device));
        continue;
      }
      send(translator.translate(r.device, parsed[r.device].front()));
      parsed[r.device].pop_front();
      // After the read that said records were dropped, the adapter asks the device which keys
      // are down (here: the one the recording names in the drop's value).
      if (r.type == EV_SYN && r.code == SYN_DROPPED) keyDownAfterDrop[r.device] = r.value;
      if (r.type == EV_SYN && r.code == SYN_REPORT && keyDownAfterDrop.contains(r.device)) {
        send(translator.resynchronise(r.device, {keyDownAfterDrop[r.device]}));
        keyDownAfterDrop.erase(r.device);
      }
    }
    settle();
  }
};

TEST_P(EvdevKeys, DetectorSeesTheSameTapsAsOnX11) {
  for (size_t chunk : {sizeof(input_event), size_t{7}, size_t{4096}}) {
    SCOPED_TRACE(chunk);
    detected.clear();
    translator = {};
    ASSERT_TRUE(hotKey->install(TriggerKey::rightAlt));
    replay(GetParam().records, chunk);
    EXPECT_EQ(detected, GetParam().expected);
    EXPECT_TRUE(translator.held().empty());
  }
}

// Device 0 is a keyboard, 1 a second keyboard, 2 a mouse.
std::vector<Recording> recordings() {
  const auto alt = TriggerKey::rightAlt;
  const std::vector<Record> repeat = {{0, EV_KEY, KEY_RIGHTALT, 2}, {0, EV_SYN, SYN_REPORT, 0}};
  const std::vector<Record> click = {{2, EV_KEY, BTN_LEFT, 1},
                                     {2, EV_SYN, SYN_REPORT, 0},
                                     {2, EV_KEY, BTN_LEFT, 0},
                                     {2, EV_SYN, SYN_REPORT, 0}};
  const auto altDown = key(0, KEY_RIGHTALT, 1), altUp = key(0, KEY_RIGHTALT, 0);
  return {
      {"RightAltTap", tap(0, KEY_RIGHTALT), {alt}},
      {"LeftCtrlTap", tap(0, KEY_LEFTCTRL), {TriggerKey::leftControl}},
      {"HeldWithAutoRepeat", altDown + repeat + repeat + altUp, {alt}},
      {"AltShortcut", altDown + tap(0, KEY_F) + altUp, {}},
      {"ChordKeysOnAnotherKeyboard", altDown + tap(1, KEY_R) + altUp, {}},
      {"TapsOnTwoKeyboards", tap(0, KEY_RIGHTALT) + tap(1, KEY_RIGHTALT), {alt, alt}},
      {"ModifierOnEachKeyboard", altDown + tap(1, KEY_LEFTSHIFT) + altUp, {}},
      {"ClickWhileHeld", altDown + click + altUp, {}},
      {"ClickAloneIgnored", click + tap(0, KEY_RIGHTALT), {alt}},
      {"UnpluggedMidTap",
       altDown + std::vector<Record>{{0, removed, 0, 0}} + tap(1, KEY_RIGHTALT),
       {alt}},
      {"ReleaseNeverSeenPressed", altUp, {}},
      {"DroppedRecordsMidTap",
       altDown +
           std::vector<Record>{{0, EV_SYN, SYN_DROPPED, KEY_RIGHTALT},
                               // the rest of a frame lost in the overflow: never read as keys
                               {0, EV_KEY, KEY_RIGHTALT, 0},
                               {0, EV_KEY, KEY_RIGHTALT, 1},
                               {0, EV_SYN, SYN_REPORT, 0}} +
           altUp + tap(0, KEY_RIGHTALT),
       {alt}},
  };
}

INSTANTIATE_TEST_SUITE_P(Recorded, EvdevKeys, testing::ValuesIn(recordings()),
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
