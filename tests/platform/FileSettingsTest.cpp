#include <gtest/gtest.h>

#include <fstream>

#include "base/FileSettings.h"
#include "support/TemporaryDirectory.h"

using namespace wrenly;

namespace fs = std::filesystem;

namespace {

TEST(FileSettingsTest, StartsEmptyAndValuesSurviveAReloadInAPrivateFile) {
  TemporaryDirectory dir;
  const auto file = dir / "wrenly" / "settings.json";
  {
    int reports = 0;
    FileSettings settings(file, [&](const std::string&) { ++reports; });
    EXPECT_EQ(settings.boolValue("macShortcutSetupComplete"), std::nullopt);
    EXPECT_EQ(reports, 0) << "a missing file is no problem";
    settings.setBool("macShortcutSetupComplete", true);
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

    int asideCount = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      if (entry.path().filename().string().starts_with("settings.json.broken-")) {
        ++asideCount;
        EXPECT_EQ(readFile(entry.path()), broken);
      }
    }
    EXPECT_EQ(asideCount, 1);
    settings.setBool("b", true);
    EXPECT_EQ(FileSettings(file).boolValue("b"), true);
    EXPECT_EQ(reports.size(), 1u);
  }
}

TEST(FileSettingsTest, UnwritableLocationReportsAndKeepsValuesInMemory) {
  TemporaryDirectory dir;
  std::ofstream(dir / "blocker") << "a file where the folder should be";
  std::vector<std::string> reports;
  FileSettings settings(dir / "blocker" / "settings.json",
                        [&](const std::string& l) { reports.push_back(l); });
  settings.setBool("x", true);
  EXPECT_EQ(settings.boolValue("x"), true);
  EXPECT_FALSE(reports.empty());
}

}  // namespace
