// The history of dictations: its bounds, the file it is kept in when the user asks, and
// "paste again" through the same delivery as a dictation.

#include <gtest/gtest.h>

#include <fstream>

#include "base/FileHistoryStore.h"
#include "base/StoredNames.h"
#include "controller/DictationHistory.h"
#include "messages/Messages.h"
#include "support/TemporaryDirectory.h"
#include "support/controller/ControllerFixture.h"

using namespace wrenly;

namespace fs = std::filesystem;

namespace {

HistoryEntry said(std::string text, std::string application = "org.example.Editor") {
  HistoryEntry entry;
  entry.text = std::move(text);
  entry.time = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + std::chrono::hours{9};
  entry.application = std::move(application);
  return entry;
}

std::vector<std::string> texts(const std::vector<HistoryEntry>& entries) {
  std::vector<std::string> out;
  for (const auto& entry : entries) out.push_back(entry.text);
  return out;
}

// A history over a file in a scratch folder, and what was reported about that file.
struct OnDisk {
  TemporaryDirectory dir;
  fs::path file = dir / StoredNames::historyFileName;
  MemorySettings settings;
  std::vector<std::string> reports;
  FileHistoryStore store{file, [this](const std::string& line) { reports.push_back(line); }};
  // The program started again over the same file and settings.
  DictationHistory restart() { return DictationHistory(settings, &store); }
};

TEST(DictationHistory, KeepsTheNewestTwentyFirst) {
  MemorySettings settings;
  DictationHistory history(settings, nullptr);
  for (int i = 1; i <= 25; ++i) history.add(said(std::to_string(i)));
  ASSERT_EQ(history.entries().size(), DictationHistory::limit);
  EXPECT_EQ(history.entries().front().text, "25");
  EXPECT_EQ(history.entries().back().text, "6");
  EXPECT_EQ(history.find(history.entries().back().id)->text, "6");
  EXPECT_EQ(history.find(1), nullptr) << "the oldest went";
  history.clear();
  EXPECT_TRUE(history.entries().empty());
}

TEST(DictationHistory, ReachesTheDiskOnlyWhileTheSettingSaysSo) {
  OnDisk disk;
  auto history = disk.restart();
  history.add(said("first"));
  EXPECT_FALSE(fs::exists(disk.file)) << "memory only by default";
  EXPECT_TRUE(disk.restart().entries().empty());

  history.keepOnDisk(true);
  history.add(said("second", ""));
  EXPECT_EQ(fileMode(disk.file), 0600u);
  EXPECT_FALSE(fs::exists(disk.file.string() + ".tmp"));
  auto restarted = disk.restart();
  EXPECT_TRUE(restarted.keptOnDisk());
  EXPECT_EQ(texts(restarted.entries()), (std::vector<std::string>{"second", "first"}));
  EXPECT_EQ(restarted.entries()[1].time, said("").time);
  EXPECT_EQ(restarted.entries()[1].application, "org.example.Editor");

  restarted.clear();
  EXPECT_FALSE(fs::exists(disk.file));
  restarted.add(said("third"));
  restarted.keepOnDisk(false);
  EXPECT_FALSE(fs::exists(disk.file));
  EXPECT_EQ(texts(restarted.entries()), std::vector<std::string>{"third"}) << "memory stays";
  EXPECT_EQ(disk.settings.boolValue(StoredNames::historyOnDiskKey), false);
  EXPECT_TRUE(disk.reports.empty());
}

TEST(DictationHistory, AnUnreadableFileIsSetAsideReportedAndNotReadBack) {
  for (const std::string broken :
       {"{not json", "[]", R"({"entries":{}})", R"({"entries":[{"text":1,"time":0}]})",
        R"({"entries":[{"text":"a"}]})",
        R"({"entries":[{"text":"a","time":0,"application":2}]})"}) {
    SCOPED_TRACE(broken);
    OnDisk disk;
    disk.settings.setBool(StoredNames::historyOnDiskKey, true);
    std::ofstream(disk.file) << broken;
    auto history = disk.restart();
    EXPECT_TRUE(history.entries().empty());
    ASSERT_EQ(disk.reports.size(), 1u);
    EXPECT_EQ(disk.reports[0].find("history unreadable"), 0u);
    int aside = 0;
    for (const auto& entry : fs::directory_iterator(disk.dir.path())) {
      aside += entry.path().filename().string().starts_with("history.json.broken-") &&
               readFile(entry.path()) == broken;
    }
    EXPECT_EQ(aside, 1);
    history.add(said("after"));
    EXPECT_EQ(texts(disk.restart().entries()), std::vector<std::string>{"after"});
  }
}

class History : public ControllerFixture {
 public:
  History() {
    notesField->setText("");
    notes.focus(notesField).openWindow();
  }
  void pasteNewest() {
    controller->pasteHistoryEntry(state().history.front().id);
    EXPECT_EQ(state().phase, DictationPhase::processing);
    runUntil([&] { return state().phase == DictationPhase::idle; }, true);
  }
  FakeApplication& notes = desktop.launch("org.example.Notes");
  std::shared_ptr<FakeElement> notesField = notes.addField();
};

TEST_F(History, EachDictationIsKeptWithItsTimeAndApplicationAndOnDiskWhenAsked) {
  OnDisk disk;
  platform.history = &disk.store;
  launchReady();
  const auto before = clock.wallTime();
  dictate();
  ASSERT_EQ(state().history.size(), 1u);
  EXPECT_EQ(state().history[0].text, "已整理的文字");
  EXPECT_EQ(state().history[0].application, "org.example.Editor");
  EXPECT_GE(state().history[0].time, before);
  EXPECT_FALSE(fs::exists(disk.file));

  controller->keepHistoryOnDisk(true);
  EXPECT_TRUE(state().historyKeptOnDisk);
  EXPECT_EQ(texts(disk.store.load()), std::vector<std::string>{"已整理的文字"});
  controller->clearHistory();
  EXPECT_TRUE(state().history.empty());
  EXPECT_FALSE(fs::exists(disk.file));
}

TEST_F(History, CopyPutsAnEntryOnTheClipboard) {
  launchReady();
  dictate();
  desktop.clipboard.setContents("something else");
  controller->copyHistoryEntry(state().history[0].id);
  EXPECT_EQ(desktop.clipboard.contents(), "已整理的文字");
  EXPECT_EQ(state().message, Messages::copiedLastText);
}

struct PasteCase {
  const char* name;
  void (*arrange)(History&);
  const char* notesText;
  const char* message;
  const char* notice;
};

void PrintTo(const PasteCase& row, std::ostream* out) {
  *out << row.name;
}

class PasteAgain : public History, public testing::WithParamInterface<PasteCase> {};

TEST_P(PasteAgain, GoesWhereADictationWouldAndSaysHowItEnded) {
  launchReady();
  dictate();
  GetParam().arrange(*this);
  settle();
  pasteNewest();
  EXPECT_EQ(notesField->text(), GetParam().notesText);
  EXPECT_EQ(editorField->text(), "已整理的文字") << "the first editor got it once";
  EXPECT_EQ(state().message, GetParam().message);
  EXPECT_EQ(state().overlayNotice, GetParam().notice);
}

const PasteCase pasteCases[] = {
    {"intoTheEditorInFront", [](History& t) { t.desktop.activate(t.notes); }, "已整理的文字",
     Messages::pasteSent, Messages::pasteSentNotice},
    {"intoTheEditorLeftForTheWindow",
     [](History& t) {
       t.desktop.activate(t.notes);
       t.desktop.activate(t.desktop.self());
       t.controller->rememberDeactivatedApp(t.notes.running());
     },
     "已整理的文字", Messages::pasteSent, Messages::pasteSentNotice},
    {"neverIntoAPasswordField",
     [](History& t) {
       t.notesField->setSecure();
       t.desktop.activate(t.notes);
     },
     "", Messages::copied, Messages::copiedNotice},
    {"clipboardRefuses",
     [](History& t) {
       t.desktop.activate(t.notes);
       t.desktop.clipboard.refuseWrites();
     },
     "", Messages::copyFailed, Messages::copyFailedNotice}};

INSTANTIATE_TEST_SUITE_P(History, PasteAgain, testing::ValuesIn(pasteCases),
                         [](const testing::TestParamInfo<PasteCase>& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
