#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>

#include "support/LoopDriver.h"
#include "support/ManualClock.h"
#include "support/desktop/FakeDesktop.h"
#include "triggerkey/TriggerKeyDetector.h"

using namespace wrenly;

namespace {

using Keys = std::vector<TriggerKey>;
using Scope = KeyMonitor::Scope;
using Script = KeyEventScript;

struct TriggerKeyDetectorTest : testing::Test {
  asio::io_context loop;
  ManualClock clock;
  FakeDesktop desktop{loop.get_executor(), clock};
  LoopDriver driver{loop, &clock};
  Keys detected;
  std::unique_ptr<TriggerKeyDetector> hotKey = std::make_unique<TriggerKeyDetector>(
      desktop.platform(), [this](TriggerKey key) { detected.push_back(key); });

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

struct Row {
  std::string name;
  Script script;
  Keys expected = {};
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

struct DetectorTable : TriggerKeyDetectorTest, testing::WithParamInterface<Row> {};

TEST_P(DetectorTable, ReportsOnlyLoneTaps) {
  ASSERT_TRUE(hotKey->install(TriggerKey::rightAlt));
  EXPECT_EQ(play(GetParam().script), GetParam().expected);
  EXPECT_TRUE(hotKey->keysDown().empty());
}

std::vector<Row> detectorRows() {
  const TriggerKey option = TriggerKey::rightAlt, shift = TriggerKey::leftShift,
                   command = TriggerKey::leftCommand;
  const auto rightAltHeld = ModifierState().hold(Key::alt, KeySide::right);
  std::vector<Row> rows = {
      {"HeldWhileALetterIsTyped", Script().press(option).type().release(option), {}},
      {"TapInsideAnotherModifier", Script().press(shift).tap(option).release(shift), {}},
      {"OutOfOrderReleases", Script().press(shift).press(option).release(shift).release(option)},
      {"BothShiftsFamilyBitOnly",
       Script().withoutDeviceBits().press(shift).tap(TriggerKey::rightShift).release(shift)},
      {"OtherModifierKeysIgnored",
       Script()
           .change(Key::capsLock, KeySide::unknown, ModifierState().hold(Key::capsLock))
           .press(option)
           .change(Key::other, KeySide::unknown, rightAltHeld)
           .release(option),
       {option}},
      {"RepeatedPressCountsOnce",
       Script().press(option).change(Key::alt, KeySide::right, rightAltHeld).release(option),
       {option}},
      {"ReleaseNeverSeenPressed", Script().change(Key::alt, KeySide::right, {})},
      {"TapsAfterAChord",
       Script().press(command).type().release(command).tap(command).tap(shift),
       {command, shift}},
      {"ThroughTheLocalMonitor", Script().in(Scope::local).tap(option), {option}},
  };
  for (auto key : TriggerKey::allCases()) {
    if (key == TriggerKey::optionCommandR) continue;
    const std::string name(key.rawValue());
    rows.push_back({"LoneTapOf_" + name, Script().tap(key), {key}});
    rows.push_back({"FamilyBitOnlyTapOf_" + name, Script().withoutDeviceBits().tap(key), {key}});
  }
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Rows, DetectorTable, testing::ValuesIn(detectorRows()),
                         [](const auto& row) { return row.param.name; });

TEST_F(TriggerKeyDetectorTest, ChordOnlyWhenChosenAndLoneTapsStillReported) {
  ASSERT_TRUE(hotKey->install(TriggerKey::rightAlt));
  EXPECT_EQ(desktop.chords.registrations(), 0u);

  ASSERT_TRUE(hotKey->install(TriggerKey::optionCommandR));
  desktop.chords.press(TriggerKeyDetector::chord);
  EXPECT_TRUE(detected.empty());  // not before the main loop runs
  settle();
  EXPECT_EQ(detected, Keys{TriggerKey::optionCommandR});
  EXPECT_EQ(play(Script().tap(TriggerKey::leftShift)), Keys{TriggerKey::leftShift});
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

TEST_F(TriggerKeyDetectorTest, InstallingTwiceStartsAfresh) {
  ASSERT_TRUE(hotKey->install(TriggerKey::optionCommandR));
  play(Script().press(TriggerKey::rightAlt));
  ASSERT_TRUE(hotKey->install(TriggerKey::optionCommandR));
  EXPECT_EQ(monitors(), 2u);
  EXPECT_EQ(desktop.chords.registrations(), 1u);
  // A release the new installation never saw pressed reports nothing.
  EXPECT_TRUE(play(Script().release(TriggerKey::rightAlt)).empty());
  EXPECT_EQ(play(Script().tap(TriggerKey::rightAlt)), Keys{TriggerKey::rightAlt});
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

}  // namespace
