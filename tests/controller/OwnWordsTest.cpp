// The user's own words around whole dictations: read from their file at launch, sent as the
// vocabulary hint, their replacements made in what is pasted, changed from the window and
// written back.

#include <gmock/gmock.h>

#include <fstream>

#include "base/FileWordStore.h"
#include "messages/Messages.h"
#include "support/TemporaryDirectory.h"
#include "support/controller/ControllerFixture.h"

using namespace wrenly;

namespace {

class OwnWordsDictations : public ControllerFixture {
 protected:
  OwnWordsDictations() {
    std::ofstream(file) << "Kowloon Tong\ngithub => GitHub\n=> lost\n";
    platform.words = &store;
    launchReady();
  }
  TemporaryDirectory folder;
  std::filesystem::path file = folder / "words.txt";
  FileWordStore store{file};
};

TEST_F(OwnWordsDictations, ReplacementsLandAndTheHintGoesWithEveryRecognition) {
  EXPECT_EQ(state().ownWords->words, std::vector<std::string>{"Kowloon Tong"});
  EXPECT_EQ(state().ownWordsNote, Messages::ownWordsFileBadLines("3"));

  memory.cleanedText = "push github now";
  dictate();
  EXPECT_EQ(editorField->text(), "push GitHub now");
  EXPECT_EQ(memory.calls[1].name, "transcribe");
  EXPECT_EQ(memory.calls[1].vocabulary, "Kowloon Tong");

  controller->setStreamingConsent(true);
  streamResult =
      R"({"type":"result","transcript":"x","text":"Github 同 github","segments":1,"fallbackSegments":1})";
  editorField->setText("");
  dictate();
  EXPECT_EQ(streams.at(0)->vocabulary, "Kowloon Tong");
  EXPECT_EQ(editorField->text(), "GitHub 同 GitHub");
}

TEST_F(OwnWordsDictations, ChangesFromTheWindowAreReportedAndWrittenBack) {
  controller->addOwnWords("teh => the\n=> x\n" + std::string(61, 'y'), true);
  EXPECT_EQ(state().ownWordsNote, Messages::ownWordsAdded(1) +
                                      Messages::ownWordsRefused("2", Messages::ownWordsMalformed) +
                                      Messages::ownWordsRefused("3", Messages::ownWordsTooLong));
  controller->addOwnWords("=> x", false);
  EXPECT_EQ(state().ownWordsNote, Messages::ownWordsRefused("", Messages::ownWordsMalformed));
  controller->removeOwnWord("Kowloon Tong");
  EXPECT_EQ(readFile(file),
            std::string(Messages::ownWordsFileHeader) + "github => GitHub\nteh => the\n=> lost\n");
  EXPECT_EQ(fileMode(file), 0600u);
  EXPECT_TRUE(state().ownWords->words.empty());
}

}  // namespace
