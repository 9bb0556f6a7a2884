// The history of dictations: its bound, the file it is kept in when the user asks, and
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

using Texts = std::vector<std::string>;

HistoryEntry said(std::string text) {
  HistoryEntry entry;
  entry.text = std::move(text);
  entry.time = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7};
  entry.application = "org.example.Editor";
  return entry;
}

Texts texts(const std::vector<HistoryEntry>& entries) {
  Texts out;
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

TEST(DictationHistory, KeepsTheNewestTwentyOnDiskOnlyWhileTheSettingSaysSo) {
  OnDisk disk;
  auto history = disk.restart();
  history.add(said("1"));
  EXPECT_TRUE(disk.restart().entries().empty()) << "memory only by default";
  history.keepOnDisk(true);
  for (int i = 2; i <= 22; ++i) history.add(said(std::to_string(i)));
  EXPECT_EQ(history.find(2), nullptr) << "the oldest went";
  EXPECT_EQ(fileMode(disk.file), 0600u);
  auto restarted = disk.restart();
  ASSERT_EQ(restarted.entries().size(), DictationHistory::limit);
  EXPECT_EQ(restarted.entries().front().text, "22");
  auto oldest = said("3");
  oldest.id = restarted.entries().back().id;
  EXPECT_EQ(*restarted.find(oldest.id), oldest) << "time and application kept";
  restarted.clear();
  EXPECT_FALSE(fs::exists(disk.file));
  restarted.add(said("after"));
  restarted.keepOnDisk(false);
  EXPECT_FALSE(fs::exists(disk.file));
  EXPECT_EQ(texts(restarted.entries()), Texts{"after"}) << "memory stays";
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
    EXPECT_EQ(disk.reports.size(), 1u);
    EXPECT_FALSE(fs::exists(disk.file));
    EXPECT_EQ(readFile(fs::directory_iterator(disk.dir.path())->path()), broken) << "set aside";
    history.add(said("after"));
    EXPECT_EQ(texts(disk.restart().entries()), Texts{"after"});
  }
}

// One dictation into the editor, with the history kept over a scratch file; a second editor
// whose field has focus, not yet in front.
struct History : ControllerProgram {
  History() {
    notes.focus(notesField).openWindow();
    platform.history = &disk.store;
    launchReady();
    dictate();
  }
  OnDisk disk;
  FakeApplication& notes = desktop.launch("org.example.Notes");
  std::shared_ptr<FakeElement> notesField = notes.addField();
};

TEST(DictationHistoryInTheProgram, KeepsEachTextWithTimeAndApplicationForCopyDiskAndClear) {
  History t;
  ASSERT_EQ(t.state().history.size(), 1u);
  const HistoryEntry entry = t.state().history[0];
  EXPECT_EQ(entry.text, "已整理的文字");
  EXPECT_EQ(entry.application, "org.example.Editor");
  EXPECT_LE(entry.time, t.clock.wallTime());
  using Copy = std::function<void()>;
  for (const Copy& copy : {Copy([&] { t.controller->copyLastText(); }),
                           Copy([&] { t.controller->copyHistoryEntry(entry.id); })}) {
    t.desktop.clipboard.setContents("something else");
    copy();
    EXPECT_EQ(t.desktop.clipboard.contents(), entry.text);
    EXPECT_EQ(t.state().message, Messages::copiedLastText);
  }
  EXPECT_FALSE(fs::exists(t.disk.file));
  t.controller->keepHistoryOnDisk(true);
  EXPECT_EQ(texts(t.disk.store.load()), Texts{entry.text});
  t.controller->clearHistory();
  EXPECT_TRUE(t.state().history.empty());
  EXPECT_FALSE(fs::exists(t.disk.file));
  t.desktop.clipboard.refuseWrites();
  t.controller->copyLastText();
  EXPECT_EQ(t.state().message, Messages::copyFailed);
}

TEST(DictationHistoryInTheProgram, PasteAgainGoesWhereADictationWouldAndSaysHowItEnded) {
  struct Row {
    bool leftForTheWindow, passwordField;
    const char* pasted;
    const char* notice;
  };
  for (const Row row : {Row{false, false, "已整理的文字", Messages::pasteSentNotice},
                        Row{true, false, "已整理的文字", Messages::pasteSentNotice},
                        Row{false, true, "", Messages::copiedNotice}}) {
    SCOPED_TRACE(testing::Message() << row.leftForTheWindow << row.passwordField);
    History t;
    t.notesField->setSecure(row.passwordField);
    t.desktop.activate(t.notes);
    if (row.leftForTheWindow) t.desktop.activate(t.desktop.self());
    t.settle();
    if (row.leftForTheWindow) t.controller->rememberDeactivatedApp(t.notes.running());
    t.controller->pasteHistoryEntry(t.state().history[0].id);
    t.runUntil([&] { return t.state().phase == DictationPhase::idle; }, true);
    EXPECT_EQ(t.notesField->text(), row.pasted);
    EXPECT_EQ(t.editorField->text(), "已整理的文字") << "the first editor got it once";
    EXPECT_EQ(t.state().overlayNotice, row.notice);
  }
}

}  // namespace
