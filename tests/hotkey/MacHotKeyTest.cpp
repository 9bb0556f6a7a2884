#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>

#include "hotkey/MacHotKey.h"
#include "support/ManualClock.h"
#include "support/desktop/FakeDesktop.h"

namespace {

using Key = MacRecordingShortcut;
using Keys = std::vector<MacRecordingShortcut>;
using Scope = KeyMonitor::Scope;

struct MacHotKeyTest : testing::Test {
  asio::io_context loop;
  ManualClock clock;
  FakeDesktop desktop{loop.get_executor(), clock};
  Keys detected;
  bool detectedOffLoop = false;
  std::unique_ptr<MacHotKey> hotKey =
      std::make_unique<MacHotKey>(desktop.platform(), [this](MacRecordingShortcut key) {
        detectedOffLoop |= !loop.get_executor().running_in_this_thread();
        detected.push_back(key);
      });

  Keys play(const KeyEventScript& script) {
    detected.clear();
    script.play(desktop.keyMonitor);
    loop.poll();
    loop.restart();
    return detected;
  }
  // The main loop runs the detector: its events are polled there.
  void settle() {
    loop.poll();
    loop.restart();
  }
};

struct Row {
  std::string name;
  KeyEventScript script;
  Keys expected;
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

struct DetectorTable : MacHotKeyTest, testing::WithParamInterface<Row> {};

TEST_P(DetectorTable, ReportsOnlyLoneTaps) {
  ASSERT_TRUE(hotKey->install(Key::rightOption));
  EXPECT_EQ(play(GetParam().script), GetParam().expected);
  EXPECT_FALSE(detectedOffLoop);
  EXPECT_TRUE(hotKey->keysDown().empty());
}

std::vector<Row> detectorRows() {
  std::vector<Row> rows;
  for (auto key : Key::allCases()) {
    if (key == Key::optionCommandR) continue;
    rows.push_back({"LoneTapOf_" + std::string(key.rawValue()), KeyEventScript().tap(key), {key}});
    rows.push_back({"LoneTapWithoutDeviceBitsOf_" + std::string(key.rawValue()),
                    KeyEventScript().withoutDeviceBits().tap(key),
                    {key}});
  }
  rows.push_back({"HeldWhileALetterIsTyped",
                  KeyEventScript().press(Key::rightOption).type().release(Key::rightOption),
                  {}});
  rows.push_back(
      {"HeldWhilePointerClicks",
       KeyEventScript().press(Key::rightOption).type(KeyCode::other).release(Key::rightOption),
       {}});
  rows.push_back(
      {"TapInsideAnotherModifier",
       KeyEventScript().press(Key::leftShift).tap(Key::rightOption).release(Key::leftShift),
       {}});
  rows.push_back({"OutOfOrderReleases",
                  KeyEventScript()
                      .press(Key::leftShift)
                      .press(Key::rightOption)
                      .release(Key::leftShift)
                      .release(Key::rightOption),
                  {}});
  rows.push_back({"BothShiftsWithoutDeviceBits",
                  KeyEventScript()
                      .withoutDeviceBits()
                      .press(Key::leftShift)
                      .press(Key::rightShift)
                      .release(Key::rightShift)
                      .release(Key::leftShift),
                  {}});
  rows.push_back({"UnknownKeyCodesIgnored",
                  KeyEventScript()
                      .flagsChanged(KeyCode::capsLock, ModifierFlag::capsLock)
                      .flagsChanged(KeyCode::function, 0x800000)
                      .press(Key::rightOption)
                      .flagsChanged(KeyCode::capsLock, ModifierFlag::option | 0x40)
                      .release(Key::rightOption),
                  {Key::rightOption}});
  rows.push_back({"RepeatedPressEventsCountOnce",
                  KeyEventScript()
                      .press(Key::rightOption)
                      .flagsChanged(KeyCode::rightOption, ModifierFlag::option | 0x40)
                      .release(Key::rightOption),
                  {Key::rightOption}});
  rows.push_back(
      {"ReleaseNeverSeenPressed", KeyEventScript().flagsChanged(KeyCode::rightOption, 0), {}});
  rows.push_back({"TwoTapsAfterAShortcut",
                  KeyEventScript()
                      .press(Key::leftCommand)
                      .type()
                      .release(Key::leftCommand)
                      .tap(Key::leftCommand)
                      .tap(Key::rightControl),
                  {Key::leftCommand, Key::rightControl}});
  rows.push_back({"ThroughTheLocalMonitor",
                  KeyEventScript().in(Scope::local).tap(Key::rightOption),
                  {Key::rightOption}});
  rows.push_back(
      {"PressGlobalReleaseLocal",
       KeyEventScript().press(Key::rightOption).in(Scope::local).release(Key::rightOption),
       {Key::rightOption}});
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Rows, DetectorTable, testing::ValuesIn(detectorRows()),
                         [](const auto& row) { return row.param.name; });

TEST_F(MacHotKeyTest, GlobalEventsAreHandledOnTheMainLoop) {
  ASSERT_TRUE(hotKey->install(Key::rightOption));
  KeyEventScript().tap(Key::rightOption).play(desktop.keyMonitor);
  EXPECT_TRUE(detected.empty());  // not yet: the events wait for the main loop
  settle();
  EXPECT_EQ(detected, Keys{Key::rightOption});
  EXPECT_FALSE(detectedOffLoop);
}

TEST_F(MacHotKeyTest, ChordOnlyWhenChosenAndLoneTapsStillReported) {
  ASSERT_TRUE(hotKey->install(Key::rightOption));
  EXPECT_TRUE(desktop.hotKeys.registered().empty());

  ASSERT_TRUE(hotKey->install(Key::optionCommandR));
  ASSERT_EQ(desktop.hotKeys.registered(), std::vector<HotKeyChord>{MacHotKey::chord});
  EXPECT_EQ(MacHotKey::chord.keyCode, KeyCode::r);
  EXPECT_EQ(MacHotKey::chord.modifierFlags, ModifierFlag::option | ModifierFlag::command);

  desktop.hotKeys.press(MacHotKey::chord);
  EXPECT_TRUE(detected.empty());
  settle();
  EXPECT_EQ(detected, Keys{Key::optionCommandR});
  EXPECT_EQ(play(KeyEventScript().tap(Key::leftShift)), Keys{Key::leftShift});

  hotKey->install(Key::leftShift);
  EXPECT_TRUE(desktop.hotKeys.registered().empty());
}

TEST_F(MacHotKeyTest, InstallWithoutPermissionLeavesNothingInstalled) {
  desktop.setTrusted(false);
  EXPECT_FALSE(hotKey->install(Key::optionCommandR));
  EXPECT_FALSE(hotKey->isInstalled());
  EXPECT_EQ(desktop.keyMonitor.monitors(Scope::global), 0u);
  EXPECT_EQ(desktop.keyMonitor.monitors(Scope::local), 0u);
  EXPECT_TRUE(desktop.hotKeys.registered().empty());
  EXPECT_TRUE(play(KeyEventScript().tap(Key::rightOption)).empty());
}

TEST_F(MacHotKeyTest, RefusedMonitorOrChordLeavesNothingInstalled) {
  desktop.keyMonitor.refuse(Scope::local);
  EXPECT_FALSE(hotKey->install(Key::rightOption));
  EXPECT_EQ(desktop.keyMonitor.monitors(Scope::global), 0u);

  desktop.keyMonitor.refuse(Scope::local, false);
  desktop.hotKeys.refuse();
  EXPECT_FALSE(hotKey->install(Key::optionCommandR));
  EXPECT_EQ(desktop.keyMonitor.monitors(Scope::global), 0u);
  EXPECT_EQ(desktop.keyMonitor.monitors(Scope::local), 0u);
  EXPECT_TRUE(hotKey->install(Key::rightOption));
}

TEST_F(MacHotKeyTest, InstallingTwiceStartsAfresh) {
  ASSERT_TRUE(hotKey->install(Key::optionCommandR));
  KeyEventScript().press(Key::rightOption).play(desktop.keyMonitor);
  settle();
  EXPECT_EQ(hotKey->keysDown(), std::set<MacRecordingShortcut>{Key::rightOption});

  ASSERT_TRUE(hotKey->install(Key::optionCommandR));
  EXPECT_TRUE(hotKey->keysDown().empty());
  EXPECT_EQ(desktop.keyMonitor.monitors(Scope::global), 1u);
  EXPECT_EQ(desktop.keyMonitor.monitors(Scope::local), 1u);
  EXPECT_EQ(desktop.hotKeys.registered().size(), 1u);

  // A release the new installation never saw pressed reports nothing.
  EXPECT_TRUE(play(KeyEventScript().release(Key::rightOption)).empty());
  EXPECT_EQ(play(KeyEventScript().tap(Key::rightOption)), Keys{Key::rightOption});
}

TEST_F(MacHotKeyTest, EventsQueuedBeforeUninstallOrDestructionAreDropped) {
  ASSERT_TRUE(hotKey->install(Key::optionCommandR));
  KeyEventScript().tap(Key::rightOption).play(desktop.keyMonitor);
  desktop.hotKeys.press(MacHotKey::chord);
  hotKey->uninstall();
  settle();
  EXPECT_TRUE(detected.empty());
  EXPECT_EQ(desktop.keyMonitor.monitors(Scope::global), 0u);
  EXPECT_TRUE(desktop.hotKeys.registered().empty());

  ASSERT_TRUE(hotKey->install(Key::optionCommandR));
  KeyEventScript().tap(Key::rightOption).play(desktop.keyMonitor);
  desktop.hotKeys.press(MacHotKey::chord);
  hotKey.reset();
  settle();
  EXPECT_TRUE(detected.empty());
}

TEST_F(MacHotKeyTest, CallbackMayReinstallFromInsideADetection) {
  std::unique_ptr<MacHotKey> reinstalling;
  int reports = 0;
  reinstalling = std::make_unique<MacHotKey>(desktop.platform(), [&](MacRecordingShortcut key) {
    ++reports;
    reinstalling->install(key);  // set-up picks the key the user just pressed
  });
  hotKey->uninstall();
  ASSERT_TRUE(reinstalling->install(Key::rightOption));
  KeyEventScript()
      .in(Scope::local)
      .tap(Key::leftControl)
      .tap(Key::leftControl)
      .play(desktop.keyMonitor);
  settle();
  EXPECT_EQ(reports, 2);
  EXPECT_EQ(desktop.keyMonitor.monitors(Scope::local), 1u);
}

}  // namespace
