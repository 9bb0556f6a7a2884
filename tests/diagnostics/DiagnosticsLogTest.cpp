#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "diagnostics/DiagnosticsLog.h"
#include "support/TemporaryDirectory.h"

using namespace wrenly;

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

unsigned modeOf(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0;
}

const auto fixedTime = std::chrono::sys_days{std::chrono::year{2026} / 3 / 5} +
                       std::chrono::hours{14} + std::chrono::minutes{7} + std::chrono::seconds{9} +
                       std::chrono::milliseconds{730};

TEST(DiagnosticsLogTest, LinesAreStampedInUtcWithoutFractionsAndKeptInOrder) {
  TemporaryDirectory dir;
  DiagnosticsLog log(dir / "Wrenly" / "Diagnostics", [] { return fixedTime; });
  log.record("processing start streaming=true");
  log.record("delivery result=pasteSent");
  log.flush();
  const auto file = dir / "Wrenly" / "Diagnostics" / "timing.log";
  EXPECT_EQ(readFile(file),
            "2026-03-05T14:07:09Z processing start streaming=true\n"
            "2026-03-05T14:07:09Z delivery result=pasteSent\n");
  EXPECT_EQ(modeOf(file), 0600u);
}

TEST(DiagnosticsLogTest, CutsAtFourHundredUserPerceivedCharacters) {
  struct Row {
    std::string unit;  // one user-perceived character
  };
  for (const Row& row : {Row{"a"}, Row{"語"}, Row{"e\xCC\x81"} /* e + combining acute */,
                         Row{"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"} /* thumbs up + skin tone */}) {
    SCOPED_TRACE(row.unit);
    std::string text;
    for (int i = 0; i < 450; ++i) text += row.unit;
    std::string expected;
    for (int i = 0; i < 400; ++i) expected += row.unit;
    EXPECT_EQ(DiagnosticsLog::cutToCharacters(text, 400), expected);
  }
  EXPECT_EQ(DiagnosticsLog::cutToCharacters("short", 400), "short");
  EXPECT_EQ(DiagnosticsLog::cutToCharacters("", 400), "");
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
  EXPECT_EQ(modeOf(current), 0600u);
}

TEST(DiagnosticsLogTest, UnusableDirectoryDropsLinesAndRecovers) {
  TemporaryDirectory dir;
  const auto blocked = dir / "Diagnostics";
  std::ofstream(blocked) << "a file where the folder should be";
  {
    DiagnosticsLog log(blocked);
    log.record("dropped");
    log.flush();
  }
  EXPECT_EQ(readFile(blocked), "a file where the folder should be");
  fs::remove(blocked);
  DiagnosticsLog log(blocked);
  log.record("kept");
  log.flush();
  EXPECT_TRUE(readFile(blocked / "timing.log").ends_with(" kept\n"));
}

TEST(DiagnosticsLogTest, DestructionWritesWhatIsQueued) {
  TemporaryDirectory dir;
  {
    DiagnosticsLog log(dir.path());
    for (int i = 0; i < 50; ++i) log.record("line " + std::to_string(i));
  }
  const auto text = readFile(dir / "timing.log");
  EXPECT_TRUE(std::regex_search(text, std::regex("line 49\n$")));
}

}  // namespace
