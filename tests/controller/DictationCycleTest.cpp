// Whole dictations on the fakes and the in-memory service: start, record, stop, recognise,
// tidy, deliver, report; the user's own words around them; and a fault sweep over every
// operation of a dictation.

#include <gmock/gmock.h>

#include <fstream>

#include "base/FileWordStore.h"
#include "messages/Messages.h"
#include "service/ServiceError.h"
#include "support/TemporaryDirectory.h"
#include "support/audio/GeneratedNoise.h"
#include "support/controller/ControllerFixture.h"

using namespace wrenly;

using testing::ElementsAre;
using testing::StartsWith;

namespace {

const std::string failedAndKept =
    std::string(Messages::serviceUnavailable) + Messages::recordingKept;
const auto rejected = std::make_exception_ptr(ServiceError::rejected(500));

// Ready to dictate, with the user's own words read from their file at launch.
class Dictations : public ControllerFixture {
 protected:
  Dictations() {
    std::ofstream(wordsFile) << "Kowloon Tong\ngithub => GitHub\n=> lost\n";
    platform.words = &words;
    launchReady();
  }
  std::vector<std::string> calls() const {
    std::vector<std::string> names;
    for (const auto& call : memory.calls) names.push_back(call.name);
    return names;
  }
  TemporaryDirectory folder;
  std::filesystem::path wordsFile = folder / "words.txt";
  FileWordStore words{wordsFile};
};

TEST_F(Dictations, WithoutAStoredCredentialABatchDictationPastesTheCleanedText) {
  EXPECT_EQ(state().message, Messages::ready(Messages::rightAltTitle));
  controller->setStreamingConsent(true);  // but nothing to stream with
  memory.activated = false;
  startDictation();
  EXPECT_TRUE(streams.empty());
  ASSERT_EQ(state().phase, DictationPhase::recording);
  EXPECT_EQ(state().message, Messages::recording(Messages::rightAltTitle));
  EXPECT_TRUE(overlay.visible);
  EXPECT_EQ(overlay.shown.activity, OverlaySnapshot::Activity::starting);
  speak(1.0);

  controller->toggle();
  EXPECT_EQ(state().phase, DictationPhase::processing);
  EXPECT_EQ(state().message, Messages::recognizing);
  finishProcessing();

  EXPECT_EQ(editorField->text(), "已整理的文字");
  EXPECT_EQ(state().lastText, "已整理的文字");
  EXPECT_EQ(state().message, Messages::pasteSent);
  EXPECT_EQ(overlay.shown.notice, Messages::pasteSentNotice);
  EXPECT_FALSE(state().hasRetryRecording);
  EXPECT_THAT(calls(), ElementsAre("accountStatus", "transcribe", "clean", "accountStatus"));
  EXPECT_EQ(memory.calls[1].requestID, std::nullopt);  // no stream to recover
  EXPECT_THAT(cycleLines(),
              ElementsAre("processing start streaming=false audio_ms=1000", "text_ready stop_ms=N",
                          "delivery result=pasteSent stop_ms=N"));
  EXPECT_EQ(desktop.clipboard.contents(), "已整理的文字");
}

TEST_F(Dictations, StreamedDictationNeedsNoUploadAndNoCleanUpCall) {
  controller->setStreamingConsent(true);
  streamResult =
      R"({"type":"result","transcript":"第一點買牛奶第二點買麵包","text":"第一點買牛奶，第二點買麵包。","segments":2,"fallbackSegments":2})";
  startDictation();
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_TRUE(streams[0]->cleanup);
  EXPECT_EQ(streams[0]->language, "auto");
  EXPECT_EQ(streams[0]->vocabulary, "Kowloon Tong");
  speak(1.0);
  stopDictation();

  EXPECT_GE(streams[0]->bytes, 3200u * 9);  // a second of 16 kHz PCM, in 100 ms chunks
  EXPECT_EQ(editorField->text(), "1. 買牛奶\n2. 買麵包");
  EXPECT_THAT(calls(), ElementsAre("accountStatus", "accountStatus"));
  EXPECT_EQ(cycleLines().front(), "processing start streaming=true audio_ms=1000");
  EXPECT_EQ(streams[0]->cancels, 0);
}

TEST_F(Dictations, AFailedRecognitionKeepsTheRecordingForRetriesThatNameTheFailedStream) {
  controller->setStreamingConsent(true);
  streamFailures = std::make_shared<FailCount>(1);  // the connection
  memory.fail("transcribe", rejected, 2);
  dictate(1.0);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0]->cancels, 1);
  EXPECT_TRUE(std::ranges::any_of(
      history, [](const auto& seen) { return seen.message == Messages::streamFallback; }));
  EXPECT_THAT(cycleLines(), ElementsAre("processing start streaming=true audio_ms=1000",
                                        StartsWith("stream fallback "),
                                        "processing failed elapsed_ms=N http=500"));
  EXPECT_TRUE(state().hasRetryRecording);
  EXPECT_EQ(state().message, failedAndKept);
  EXPECT_EQ(state().overlayNotice, Messages::recordingKeptNotice);
  EXPECT_EQ(editorField->text(), "");

  // A retry never streams; one that fails again keeps the recording again.
  controller->retryLastRecording();
  EXPECT_EQ(state().phase, DictationPhase::processing);
  EXPECT_EQ(state().message, Messages::retrying);
  EXPECT_EQ(overlay.shown.activity, OverlaySnapshot::Activity::processing);
  EXPECT_FALSE(state().hasRetryRecording);
  controller->retryLastRecording();  // a second click finds it processing
  finishProcessing();
  EXPECT_TRUE(state().hasRetryRecording);
  EXPECT_EQ(state().message, failedAndKept);
  EXPECT_EQ(memory.count("transcribe"), 2u);

  // One from the window that succeeds goes to the field the user left, however long ago: a
  // retry is the user's own request.
  activate(desktop.self(), &editor);
  clock.advanceSeconds(600);
  controller->retryLastRecording();
  finishProcessing();
  EXPECT_FALSE(state().hasRetryRecording);
  controller->retryLastRecording();  // the delivered recording is gone, not just hidden
  EXPECT_EQ(state().phase, DictationPhase::idle);
  EXPECT_EQ(editorField->text(), "已整理的文字");
  EXPECT_EQ(state().overlayNotice, Messages::pasteSentNotice);
  EXPECT_EQ(streams.size(), 1u);
  for (const auto& call : memory.calls) {
    if (call.name == "transcribe") {
      EXPECT_EQ(call.requestID, streams[0]->requestID());
    }
  }
}

TEST_F(Dictations, ASelectionIsRewrittenAndReplaced) {
  // A selection of exactly the limit is taken.
  editorField->setText(std::string(20000, 'a') + " world").select(0, 20000);
  controller->setStreamingConsent(true);
  streamResult =
      R"({"type":"result","transcript":"翻譯成中文","text":"unused","segments":1,"fallbackSegments":1})";
  startDictation();
  EXPECT_TRUE(state().isEditingSelection);
  EXPECT_TRUE(overlay.shown.editingSelection);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_FALSE(streams[0]->cleanup);
  EXPECT_EQ(state().message, Messages::editingSelection(Messages::rightAltTitle));
  speak(0.5);
  controller->toggle();
  EXPECT_EQ(state().message, Messages::recognizingTask);
  EXPECT_FALSE(state().isEditingSelection);
  finishProcessing();

  EXPECT_EQ(editorField->text(), "已改寫的文字 world");
  const auto task =
      std::ranges::find(memory.calls, "applySpokenTask", &MemorySpeechService::Call::name);
  ASSERT_NE(task, memory.calls.end());
  EXPECT_EQ(task->text, "翻譯成中文");
  EXPECT_EQ(task->requestID, streams[0]->requestID());
}

TEST_F(Dictations, ARetryFromTheWindowWithNoFieldLeftGoesToTheClipboard) {
  memory.fail("transcribe", rejected);
  dictate();
  activate(desktop.self());
  controller->retryLastRecording();
  finishProcessing();
  EXPECT_EQ(editorField->text(), "");
  EXPECT_EQ(state().overlayNotice, Messages::copiedNotice);
  EXPECT_EQ(desktop.clipboard.contents(), "已整理的文字");
}

TEST_F(Dictations, AnEmptyRecordingAFailedCleanUpOrAFailedDeliverySaySo) {
  startDictation();
  controller->toggle();  // nothing was said
  EXPECT_EQ(state().phase, DictationPhase::idle);
  EXPECT_EQ(state().message, Messages::noSpeech);
  EXPECT_EQ(state().overlayNotice, Messages::recordingNotFinished);
  EXPECT_FALSE(state().hasRetryRecording);
  EXPECT_TRUE(cycleLines().empty());

  // A failed clean-up delivers the local text.
  memory.transcript = "  第一點買牛奶第二點買麵包  ";
  memory.fail("clean", rejected);
  dictate();
  EXPECT_EQ(editorField->text(), "1. 買牛奶\n2. 買麵包");
  EXPECT_EQ(state().message, std::string(Messages::pasteSent) + Messages::cleanupIncomplete);
  EXPECT_EQ(state().overlayNotice, Messages::pasteSentNotice);
  EXPECT_FALSE(state().hasRetryRecording);

  desktop.clipboard.refuseWrites();
  dictate();
  EXPECT_EQ(state().message, Messages::copyFailed);
  EXPECT_EQ(state().overlayNotice, Messages::copyFailedNotice);
  EXPECT_EQ(state().lastText, "已整理的文字");
  EXPECT_THAT(cycleLines().back(), StartsWith("delivery result=failed"));
}

TEST_F(Dictations, ATakeWithoutSpeechIsNeitherSentNorPastedNorKept) {
  const auto room = generatedNoise(Noise::room, 48000, 1.0, -60);
  for (const bool live : {true, false}) {
    controller->setStreamingConsent(live);
    startDictation();
    ASSERT_TRUE(mic.deliver(room));
    controller->toggle();
    settle();
    EXPECT_EQ(state().message, Messages::noVoiceDetected);
    EXPECT_EQ(overlay.shown.notice, Messages::noVoiceDetectedNotice);
    EXPECT_FALSE(state().hasRetryRecording);
  }
  EXPECT_EQ(streams.at(0)->cancels, 1);  // dropped, its result not awaited
  EXPECT_EQ(editorField->text(), "");
  EXPECT_TRUE(memory.calls.size() == 1 && cycleLines().empty());  // the launch's account check

  // Words between two stretches of room go without them, but for margins of 250 and 400 ms
  // (and a frame the resampler's filter rings into).
  startDictation();
  for (const auto& part : {room, FakeAudioInput::tone(440, 48000, 1, 1.0), room})
    ASSERT_TRUE(mic.deliver(part));
  stopDictation();
  EXPECT_EQ(cycleLines().at(0), "processing start streaming=false audio_ms=1670");
}

TEST_F(Dictations, TheMeterFollowsTheMicrophoneUntilTheRecordingStopsItself) {
  startDictation();
  speak(1.0);
  clock.advance(DictationCycle::supervisionPeriod);
  EXPECT_GT(state().level, 0.3f);
  // A service check finding the user signed out leaves the recording's message alone.
  signedOut();
  controller->refreshServiceState();
  runUntil([&] { return !state().serviceAvailable; });
  EXPECT_FALSE(state().accessActive);
  EXPECT_EQ(state().message, Messages::recording(Messages::rightAltTitle));
  // With the permission gone, the key no longer ends it: only the limit does, with no paste.
  desktop.setTrusted(false);
  controller->refreshPermission(Prompt::none, Report::none);
  controller->toggle();
  EXPECT_EQ(state().message, Messages::finishSetupFirst);
  clock.advanceSeconds(Recorder::maximumDuration - 0.2);
  EXPECT_EQ(state().phase, DictationPhase::recording);
  // The in-memory service answers at once and nothing is pasted: the text is copied within the
  // same advance.
  clock.advance(std::chrono::milliseconds(200) + DictationCycle::supervisionPeriod);
  EXPECT_NE(state().phase, DictationPhase::recording);
  runUntil([&] { return state().phase == DictationPhase::idle; }, true);
  EXPECT_EQ(state().level, 0);
  EXPECT_EQ(state().message, Messages::copied);
  EXPECT_EQ(desktop.clipboard.contents(), "已整理的文字");
}

// The user's own words: sent as the vocabulary hint, their replacements made in what is pasted,
// changed from the window and written back.
TEST_F(Dictations, OwnWordsHintTheRecognitionReplaceInWhatIsPastedAndChangeFromTheWindow) {
  EXPECT_EQ(state().ownWords->words, std::vector<std::string>{"Kowloon Tong"});
  EXPECT_EQ(state().ownWordsNote, Messages::ownWordsFileBadLines("3"));

  memory.cleanedText = "push github now";
  dictate();
  EXPECT_EQ(editorField->text(), "push GitHub now");
  EXPECT_EQ(memory.calls[1].name, "transcribe");
  EXPECT_EQ(memory.calls[1].vocabulary, "Kowloon Tong");

  // Changes from the window are reported and written back.
  controller->addOwnWords("teh => the\n=> x\n" + std::string(61, 'y'), true);
  EXPECT_EQ(state().ownWordsNote, Messages::ownWordsAdded(1) +
                                      Messages::ownWordsRefused("2", Messages::ownWordsMalformed) +
                                      Messages::ownWordsRefused("3", Messages::ownWordsTooLong));
  controller->addOwnWords("=> x", false);
  EXPECT_EQ(state().ownWordsNote, Messages::ownWordsRefused("", Messages::ownWordsMalformed));
  controller->removeOwnWord("Kowloon Tong");
  EXPECT_EQ(readFile(wordsFile),
            std::string(Messages::ownWordsFileHeader) + "github => GitHub\nteh => the\n=> lost\n");
  EXPECT_EQ(fileMode(wordsFile), 0600u);
  EXPECT_TRUE(state().ownWords->words.empty());
}

// Fails each operation of a whole dictation in turn, as a fault sweep: the n-th operation of
// the stream transport and the speech service (counted together) fails, for n from 1 until a
// dictation no longer reaches it. Whatever fails, the phase returns to idle and the recording
// is never lost: the text arrives, or the recording is kept and a retry delivers it.

enum class Recognition { live, batch };

// One program per run, fresh from launch, on the real client and the loopback service.
class SweepRun final : public ControllerProgram {
 public:
  explicit SweepRun(std::shared_ptr<FailCount> failures) {
    streamFailures = failures;
    loopback = true;
    launchReady();
    server.setHandler([failures](const ContractServer::Request&) {
      std::optional<ContractServer::Reply> reply;
      if (failures->fail()) reply.emplace().dropConnection = true;
      return reply;
    });
  }

  // One dictation; on failure, one retry once nothing fails any more.
  void dictate(Recognition recognition, const FailCount& failures) {
    controller->setStreamingConsent(recognition == Recognition::live);
    startDictation();
    ASSERT_EQ(state().phase, DictationPhase::recording);
    speak(0.5);
    stopDictation();
    EXPECT_EQ(state().phase, DictationPhase::idle);
    if (editorField->text().empty()) {
      ASSERT_TRUE(state().hasRetryRecording) << "the recording was lost";
      ASSERT_TRUE(failures.reached());
      controller->retryLastRecording();
      finishProcessing();
      EXPECT_EQ(state().phase, DictationPhase::idle);
    }
    EXPECT_FALSE(editorField->text().empty()) << "the retry did not deliver";
  }
};

TEST(FaultSweep, EveryFailingOperationOfADictationLeavesIdleWithTheRecordingKept) {
  for (Recognition recognition : {Recognition::live, Recognition::batch}) {
    std::size_t n = 1;
    for (; n < 100; ++n) {
      SCOPED_TRACE(testing::Message() << (recognition == Recognition::live ? "live" : "batch")
                                      << " dictation, failing operation " << n);
      auto failures = std::make_shared<FailCount>(n);
      SweepRun run(failures);
      run.dictate(recognition, *failures);
      if (testing::Test::HasFatalFailure() || !failures->reached()) break;
    }
    // A whole dictation has several operations, and the sweep got past all of them.
    EXPECT_GT(n, 3u);
    EXPECT_LT(n, 100u);
  }
}

}  // namespace
