#include <gtest/gtest.h>

#include <algorithm>

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

// A press of the installed key that begins alone has an unused key tapped before anyone hears
// of it, so applications do not take its release for a lone Alt; other keys are left alone.
struct PressRow {
  std::string name;
  Script script;
  std::vector<TriggerPress> presses = {};
  size_t unusedKeyTaps = 0;
  Keys detected = {};
  TriggerKey installed = TriggerKey::rightAlt;
};

void PrintTo(const PressRow& row, std::ostream* out) {
  *out << row.name;
}

struct PressTable : TriggerKeyDetectorTest, testing::WithParamInterface<PressRow> {
  std::vector<TriggerPress> presses;
};

TEST_P(PressTable, TapsAnUnusedKeyOnlyForTheInstalledKeyHeldAlone) {
  hotKey = std::make_unique<TriggerKeyDetector>(
      desktop.platform(), [this](TriggerKey key) { detected.push_back(key); },
      [this](TriggerPress press) {
        presses.push_back(press);
        // The tap went out before the press was reported.
        if (press == TriggerPress::began) {
          EXPECT_EQ(desktop.keyInjector.keys().size(),
                    static_cast<size_t>(std::ranges::count(presses, TriggerPress::began)));
        }
      });
  ASSERT_TRUE(hotKey->install(GetParam().installed));
  EXPECT_EQ(play(GetParam().script), GetParam().detected);
  EXPECT_EQ(presses, GetParam().presses);
  EXPECT_EQ(desktop.keyInjector.keys().size(), GetParam().unusedKeyTaps);
  EXPECT_TRUE(hotKey->keysDown().empty());
}

std::vector<PressRow> pressRows() {
  using enum TriggerPress;
  const TriggerKey alt = TriggerKey::rightAlt, shift = TriggerKey::leftShift;
  const auto altHeld = ModifierState().hold(Key::alt, KeySide::right);
  return {
      {"LoneTap", Script().tap(alt), {began, released}, 1, {alt}},
      {"ShortcutOrAltGrLetter", Script().press(alt).type().release(alt), {began, combined}, 1},
      {"AnotherModifierJoins", Script().press(alt).tap(shift).release(alt), {began, combined}, 1},
      {"ClickWhileHeld", Script().press(alt).type().type().release(alt), {began, combined}, 1},
      {"InsideAnotherModifier", Script().press(shift).tap(alt).release(shift)},
      {"OtherAltKeepsItsMenu", Script().tap(TriggerKey::leftAlt), {}, 0, {TriggerKey::leftAlt}},
      {"RepeatedPressTapsOnce",
       Script().press(alt).change(Key::alt, KeySide::right, altHeld).release(alt),
       {began, released},
       1,
       {alt}},
      {"TwoTaps", Script().tap(alt).tap(alt), {began, released, began, released}, 2, {alt, alt}},
      {"ChordInstalled", Script().tap(alt), {}, 0, {alt}, TriggerKey::optionCommandR},
  };
}

INSTANTIATE_TEST_SUITE_P(Rows, PressTable, testing::ValuesIn(pressRows()),
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
