#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>
#include <fstream>
#include <regex>
#include <set>
#include <vector>

#include "base/FileSettings.h"
#include "base/SerialQueue.h"
#include "base/SystemClock.h"
#include "base/Uuid.h"
#include "support/ManualClock.h"
#include "support/TemporaryDirectory.h"

using namespace wrenly;

namespace fs = std::filesystem;

namespace {

// The program cancels a timer by letting it go. (The manual clock's order and the program's
// sleeps and their cancellation are exercised by every timed test: delivery's reactivation
// checks and cancelled preparation, the controller's notices and reconnections, the requests'
// cancelled busy wait.)
TEST(ManualClockTest, DestroyedTimersNeverRun) {
  asio::io_context loop;
  ManualClock clock;
  bool ran = false;
  clock.after(loop.get_executor(), std::chrono::seconds(1), [&] { ran = true; }).reset();
  EXPECT_EQ(clock.pendingTimers(), 0u);
  clock.advanceSeconds(2);
  loop.poll();
  EXPECT_FALSE(ran);
}

TEST(SystemClockTest, ReadingsAreMonotonicAndTimersFire) {
  SystemClock clock;
  asio::io_context loop;
  const Clock::Duration before = clock.now();
  bool fired = false;
  auto timer =
      clock.after(loop.get_executor(), std::chrono::milliseconds(1), [&] { fired = true; });
  loop.run_one();  // the timer completing is the event awaited, not a fixed sleep
  EXPECT_TRUE(fired);
  EXPECT_GE(clock.now(), before);
}

// A missing file is no problem. While the folder cannot be made, saving is reported and the
// values stay in memory; the next save writes them all.
TEST(FileSettingsTest, StartsEmptyKeepsValuesWhileUnwritableAndTheySurviveAReloadInAPrivateFile) {
  TemporaryDirectory dir;
  const auto file = dir / "wrenly" / "settings.json";
  std::ofstream(dir / "wrenly") << "a file where the folder should be";
  {
    std::vector<std::string> reports;
    FileSettings settings(file, [&](const std::string& line) { reports.push_back(line); });
    EXPECT_EQ(settings.boolValue("macShortcutSetupComplete"), std::nullopt);
    EXPECT_TRUE(reports.empty());
    settings.setBool("macShortcutSetupComplete", true);
    EXPECT_EQ(settings.boolValue("macShortcutSetupComplete"), true);
    EXPECT_EQ(reports.size(), 1u);
    fs::remove(dir / "wrenly");
    settings.setString("recordingShortcut", "rightOption");
    settings.setString("gone", "x");
    settings.remove("gone");
  }
  FileSettings reloaded(file);
  EXPECT_EQ(reloaded.boolValue("macShortcutSetupComplete"), true);
  EXPECT_EQ(reloaded.stringValue("recordingShortcut"), "rightOption");
  EXPECT_EQ(reloaded.stringValue("gone"), std::nullopt);
  // A value of the other type reads as absent, like a mistyped default.
  EXPECT_EQ(reloaded.boolValue("recordingShortcut"), std::nullopt);
  EXPECT_EQ(fileMode(file), 0600u);
  EXPECT_FALSE(fs::exists(file.string() + ".tmp"));
}

TEST(FileSettingsTest, CorruptFileIsKeptAsideReportedOnceAndReadsAsEmpty) {
  for (const std::string broken : {"{not json", "[1,2]", "{\"a\": 3}", "\xff\xfe"}) {
    SCOPED_TRACE(broken);
    TemporaryDirectory dir;
    const auto file = dir / "settings.json";
    std::ofstream(file) << broken;
    std::vector<std::string> reports;
    FileSettings settings(file, [&](const std::string& line) { reports.push_back(line); });
    EXPECT_EQ(settings.stringValue("a"), std::nullopt);
    ASSERT_EQ(reports.size(), 1u);

    // The report names the file kept aside, the only one left in the folder.
    const auto aside = reports[0].substr(reports[0].rfind(' ') + 1);
    EXPECT_TRUE(aside.starts_with("settings.json.broken-")) << reports[0];
    EXPECT_EQ(readFile(dir / aside), broken);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    settings.setBool("b", true);
    EXPECT_EQ(FileSettings(file).boolValue("b"), true);
    EXPECT_EQ(reports.size(), 1u);
  }
}

TEST(SerialQueueTest, RunsInOrderAndSyncWaitsButRefusesItsOwnQueue) {
  asio::thread_pool pool(2);
  SerialQueue queue("Wrenly.test", pool.get_executor());
  std::vector<int> order;
  for (int i = 0; i < 100; ++i) queue.post([&order, i] { order.push_back(i); });
  bool nestedRan = true;
  bool nestedAccepted = true;
  ASSERT_TRUE(queue.sync([&] {
    order.push_back(100);
    nestedAccepted = queue.sync([&] { nestedRan = true; });
    nestedRan = nestedAccepted;
  }));
  ASSERT_EQ(order.size(), 101u);
  for (int i = 0; i <= 100; ++i) EXPECT_EQ(order[i], i);
  EXPECT_FALSE(nestedAccepted);
  EXPECT_FALSE(nestedRan);
  EXPECT_THROW(queue.sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
  pool.join();
}

TEST(UuidTest, UpperCaseVersionFourAndUnique) {
  const std::regex form("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    auto id = makeUuid();
    EXPECT_TRUE(std::regex_match(id, form)) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 200u);
}

}  // namespace
