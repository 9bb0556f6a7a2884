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
