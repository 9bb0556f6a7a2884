#include <gtest/gtest.h>

#include <fstream>

#include "diagnostics/DiagnosticsLog.h"
#include "support/TemporaryDirectory.h"

using namespace wrenly;

namespace fs = std::filesystem;

namespace {

const auto fixedTime = std::chrono::sys_days{std::chrono::year{2026} / 3 / 5} +
                       std::chrono::hours{14} + std::chrono::minutes{7} + std::chrono::seconds{9} +
                       std::chrono::milliseconds{730};

TEST(DiagnosticsLogTest, StampsLinesInUtcWithoutFractionsAndWritesTheQueueOnDestruction) {
  TemporaryDirectory dir;
  {
    DiagnosticsLog log(dir / "Wrenly" / "Diagnostics", [] { return fixedTime; });
    for (int i = 0; i < 50; ++i) log.record("line " + std::to_string(i));
  }
  const auto file = dir / "Wrenly" / "Diagnostics" / "timing.log";
  const std::string text = readFile(file);
  EXPECT_TRUE(text.starts_with("2026-03-05T14:07:09Z line 0\n2026-03-05T14:07:09Z line 1\n"));
  EXPECT_TRUE(text.ends_with("2026-03-05T14:07:09Z line 49\n"));
  EXPECT_EQ(fileMode(file), 0600u);
}

TEST(DiagnosticsLogTest, CutsAtFourHundredUserPerceivedCharactersOnOneLine) {
  // One user-perceived character each: ASCII, CJK, e + combining acute, thumbs up + skin tone.
  for (const std::string unit : {"a", "語", "e\xCC\x81", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"}) {
    std::string text;
    for (int i = 0; i < 450; ++i) text += unit;
    EXPECT_EQ(DiagnosticsLog::cutToCharacters(text, 400), text.substr(0, 400 * unit.size()));
  }
  EXPECT_EQ(DiagnosticsLog::cutToCharacters("short", 400), "short");
  EXPECT_EQ(DiagnosticsLog::cutToCharacters("a\nb\r\nc", 400), "a b  c");
}

TEST(DiagnosticsLogTest, RotatesOnlyAboveTheThresholdAndKeepsTwoGenerations) {
  TemporaryDirectory dir;
  const auto current = dir / "timing.log";
  const auto previous = dir / "timing.previous.log";
  DiagnosticsLog log(dir.path(), [] { return fixedTime; });

  std::ofstream(current, std::ios::binary) << std::string(DiagnosticsLog::rotationThreshold, 'x');
  std::ofstream(previous) << "old generation\n";
  log.record("at threshold");
  log.flush();
  EXPECT_FALSE(readFile(current).ends_with("x")) << "appended, not rotated";
  EXPECT_EQ(readFile(previous), "old generation\n");

  log.record("above threshold");
  log.flush();
  EXPECT_TRUE(readFile(previous).ends_with("at threshold\n"));
  EXPECT_EQ(readFile(current), "2026-03-05T14:07:09Z above threshold\n");
  EXPECT_EQ(fileMode(current), 0600u);
}

TEST(DiagnosticsLogTest, UnusableDirectoryDropsLinesAndRecovers) {
  TemporaryDirectory dir;
  const auto blocked = dir / "Diagnostics";
  std::ofstream(blocked) << "a file where the folder should be";
  {
    DiagnosticsLog log(blocked);
    log.record("dropped");
  }
  EXPECT_EQ(readFile(blocked), "a file where the folder should be");
  fs::remove(blocked);
  DiagnosticsLog log(blocked);
  log.record("kept");
  log.flush();
  EXPECT_TRUE(readFile(blocked / "timing.log").ends_with(" kept\n"));
}

}  // namespace
