// Whole dictations on the fakes and the loopback service: start, record, stop, recognise,
// tidy, deliver, report.

#include <gmock/gmock.h>

#include "controller/ControllerFixture.h"
#include "service/ServiceError.h"

using namespace wrenly;

using testing::ElementsAre;
using testing::HasSubstr;
using testing::StartsWith;

namespace {

constexpr const char* retrySuffix = " 錄音暫存在記憶體，可重試；結束 App 後會清除。";
const std::string serviceDown = "語音服務暫時無法使用，請稍後重試。";

class DictationCycle : public ControllerFixture {
 protected:
  DictationCycle() {
    signedIn();
    setUpDone();
    launch();
  }

  // The body of the one request to `path`.
  std::string bodyOf(const std::string& path) const {
    std::string body;
    for (const auto& request : server.requests()) {
      if (request.path == path) body = request.body;
    }
    return body;
  }
};

TEST_F(DictationCycle, BatchDictationPastesTheCleanedTextIntoTheField) {
  EXPECT_EQ(state().message, "按 右 Alt 開始語音輸入");
  startDictation();
  ASSERT_EQ(state().phase, DictationPhase::recording);
  EXPECT_EQ(state().message, "錄音中；再按 右 Alt 完成");
  EXPECT_TRUE(overlay.visible);
  speak(1.0);

  controller->toggle();
  EXPECT_EQ(state().phase, DictationPhase::processing);
  EXPECT_EQ(state().message, "正在辨識及整理文字…");
  finishProcessing();

  EXPECT_EQ(editorField->text(), "已整理的文字");
  EXPECT_EQ(state().lastText, "已整理的文字");
  EXPECT_EQ(state().message, "已向原本的輸入欄送出貼上；文字亦已複製，可按 Ctrl+V 重貼。");
  EXPECT_EQ(state().hudNotice, "已送出貼上");
  EXPECT_FALSE(state().hasRetryRecording);
  EXPECT_THAT(requestPaths(),
              ElementsAre("GET access", "POST transcribe", "POST text", "GET access"));
  EXPECT_THAT(bodyOf("transcribe"), HasSubstr("\"streamRecoveryID\":\"\""));
  EXPECT_THAT(bodyOf("text"), HasSubstr("macCleanupTraditional"));
  EXPECT_THAT(cycleLines(),
              ElementsAre("processing start streaming=false audio_ms=1000", "text_ready stop_ms=N",
                          "delivery result=pasteSent stop_ms=N"));
  // The tidied transcript was on the clipboard while the clean-up ran; the final text is now.
  EXPECT_EQ(desktop.clipboard.contents(), "已整理的文字");
  EXPECT_TRUE(historyHadMessage("正在辨識及整理文字…"));

  // The notice hides the overlay three seconds later.
  clock.advanceSeconds(2.9);
  EXPECT_TRUE(overlay.visible);
  clock.advanceSeconds(0.1);
  EXPECT_FALSE(overlay.visible);
}

TEST_F(DictationCycle, StreamedDictationNeedsNoUploadAndNoCleanUpCall) {
  controller->setStreamingConsent(true);
  startDictation();
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_TRUE(streams[0]->cleanup);
  EXPECT_EQ(streams[0]->language, "auto");
  speak(1.0);
  stopDictation();

  EXPECT_TRUE(streams[0]->finished);
  EXPECT_GE(streams[0]->bytes(), 3200u * 9);  // a second of 16 kHz PCM, in 100 ms chunks
  EXPECT_EQ(editorField->text(), "即時整理的文字");
  EXPECT_THAT(requestPaths(), ElementsAre("GET access", "GET access"));
  EXPECT_THAT(cycleLines(),
              ElementsAre("processing start streaming=true audio_ms=1000", "text_ready stop_ms=N",
                          "delivery result=pasteSent stop_ms=N"));
  EXPECT_EQ(streams[0]->cancelCount(), 0);
}

TEST_F(DictationCycle, StreamingNeedsAStoredCredential) {
  controller->setStreamingConsent(true);
  settings.setBool("active." + server.baseURL(), false);
  startDictation();
  EXPECT_TRUE(streams.empty());
  EXPECT_EQ(state().phase, DictationPhase::recording);
}

TEST_F(DictationCycle, AFailedStreamFallsBackToTheWholeRecordingUnderTheStreamsID) {
  controller->setStreamingConsent(true);
  scriptStream = [](ScriptedStream& stream) {
    stream.error = std::make_exception_ptr(ServiceError::invalidResponse());
  };
  startDictation();
  speak(0.5);
  stopDictation();

  EXPECT_EQ(streams[0]->cancelCount(), 1);
  EXPECT_TRUE(historyHadMessage("即時連線未完成，正在以完整錄音重新辨識…"));
  EXPECT_THAT(bodyOf("transcribe"),
              HasSubstr("\"streamRecoveryID\":\"" + streams[0]->requestID() + "\""));
  EXPECT_EQ(editorField->text(), "已整理的文字");
  EXPECT_THAT(cycleLines(), ElementsAre("processing start streaming=true audio_ms=500",
                                        "stream fallback invalid_response", "text_ready stop_ms=N",
                                        "delivery result=pasteSent stop_ms=N"));
}

TEST_F(DictationCycle, AFailedCleanUpDeliversTheLocalTextAndSaysSo) {
  server.setTranscript("  第一點買牛奶第二點買麵包  ");
  server.enqueue("POST", "text", ContractService::Reply::json(500, "{}"));
  startDictation();
  speak(0.5);
  stopDictation();

  EXPECT_EQ(editorField->text(), "1. 買牛奶\n2. 買麵包");
  EXPECT_EQ(state().message,
            "已向原本的輸入欄送出貼上；文字亦已複製，可按 Ctrl+V 重貼。 "
            "語言整理未完成，已保留辨識內容。");
  EXPECT_EQ(state().hudNotice, "已送出貼上");
  EXPECT_FALSE(state().hasRetryRecording);
}

TEST_F(DictationCycle, ASelectionIsRewrittenAndReplaced) {
  editorField->setText("hello world").selectText("world");
  controller->setStreamingConsent(true);
  scriptStream = [](ScriptedStream& stream) { stream.result = {"翻譯成中文", "unused"}; };
  startDictation();
  EXPECT_TRUE(state().isEditingSelection);
  EXPECT_FALSE(streams[0]->cleanup);
  EXPECT_EQ(state().message, "已選取文字；請說出修改要求，再按 右 Alt 完成。");
  speak(0.5);
  controller->toggle();
  EXPECT_EQ(state().message, "正在辨識指令及修改選取文字…");
  EXPECT_FALSE(state().isEditingSelection);
  finishProcessing();

  EXPECT_EQ(editorField->text(), "hello 已改寫的文字");
  const auto body = bodyOf("text");
  EXPECT_THAT(body, HasSubstr("selectedVoiceTask"));
  EXPECT_THAT(body, HasSubstr("翻譯成中文"));
  EXPECT_THAT(body, HasSubstr("\"sourceRequestID\":\"" + streams[0]->requestID() + "\""));
}

TEST_F(DictationCycle, RecognitionFailureKeepsTheRecordingForARetry) {
  server.enqueue("POST", "transcribe", ContractService::Reply::json(500, "{}"), 2);
  startDictation();
  speak(1.0);
  stopDictation();

  EXPECT_TRUE(state().hasRetryRecording);
  EXPECT_EQ(state().message, serviceDown + retrySuffix);
  EXPECT_EQ(state().hudNotice, "未能完成，錄音已保留可重試");
  EXPECT_EQ(editorField->text(), "");
  EXPECT_THAT(cycleLines(), ElementsAre("processing start streaming=false audio_ms=1000",
                                        "processing failed elapsed_ms=N http=500"));

  // A retry that fails again keeps the recording again.
  controller->retryLastRecording();
  EXPECT_EQ(state().phase, DictationPhase::processing);
  EXPECT_EQ(state().message, "正在重新辨識保留的錄音…");
  EXPECT_FALSE(state().hasRetryRecording);
  controller->retryLastRecording();  // a second click finds it processing
  finishProcessing();
  EXPECT_TRUE(state().hasRetryRecording);
  EXPECT_EQ(state().message, serviceDown + retrySuffix);

  // And one that succeeds delivers into the field the user is in.
  controller->retryLastRecording();
  finishProcessing();
  EXPECT_FALSE(state().hasRetryRecording);
  EXPECT_EQ(editorField->text(), "已整理的文字");
  EXPECT_THAT(cycleLines().back(), StartsWith("delivery result=pasteSent"));
}

TEST_F(DictationCycle, ARetryOfAFailedStreamStillNamesTheStream) {
  controller->setStreamingConsent(true);
  scriptStream = [](ScriptedStream& stream) {
    stream.error = std::make_exception_ptr(ServiceError::invalidResponse());
  };
  server.enqueue("POST", "transcribe", ContractService::Reply::json(500, "{}"));
  startDictation();
  speak(0.5);
  stopDictation();
  ASSERT_TRUE(state().hasRetryRecording);

  controller->retryLastRecording();
  finishProcessing();
  EXPECT_EQ(streams.size(), 1u);  // a retry never streams
  size_t named = 0;
  for (const auto& request : server.requests()) {
    if (request.path == "transcribe") {
      named += request.body.find("\"streamRecoveryID\":\"" + streams[0]->requestID() + "\"") !=
               std::string::npos;
    }
  }
  EXPECT_EQ(named, 2u);
}

TEST_F(DictationCycle, ARetryFromTheWindowGoesToTheFieldTheUserLeftOrTheClipboard) {
  // Nothing remembered first: a remembered field stays remembered.
  for (const bool leftTheEditor : {false, true}) {
    SCOPED_TRACE(leftTheEditor);
    editorField->setText("");
    server.enqueue("POST", "transcribe", ContractService::Reply::json(500, "{}"));
    desktop.activate(editor);
    startDictation();
    speak(0.5);
    stopDictation();
    desktop.activate(desktop.self());  // the user opens the window
    settle();
    // However long ago: a retry is the user's own request.
    if (leftTheEditor) controller->rememberDeactivatedApp(editor.running());
    clock.advanceSeconds(600);
    controller->retryLastRecording();
    finishProcessing();
    EXPECT_EQ(editorField->text(), leftTheEditor ? "已整理的文字" : "");
    EXPECT_EQ(state().hudNotice, leftTheEditor ? "已送出貼上" : "已複製，請按 Ctrl+V");
    EXPECT_EQ(desktop.clipboard.contents(), "已整理的文字");
  }
}

TEST_F(DictationCycle, AnEmptyRecordingIsNotProcessed) {
  startDictation();
  controller->toggle();  // nothing was said
  EXPECT_EQ(state().phase, DictationPhase::idle);
  EXPECT_EQ(state().message, "沒有收到語音，請重新錄音。");
  EXPECT_EQ(state().hudNotice, "錄音未完成");
  EXPECT_FALSE(state().hasRetryRecording);
  EXPECT_TRUE(cycleLines().empty());
}

TEST_F(DictationCycle, AFailedDeliveryPointsToTheWindow) {
  desktop.clipboard.refuseWrites();
  startDictation();
  speak(0.5);
  stopDictation();
  EXPECT_EQ(state().message, "未能複製辨識文字；請在 Wrenly 視窗查看最近文字。");
  EXPECT_EQ(state().hudNotice, "請查看最近文字");
  EXPECT_EQ(state().lastText, "已整理的文字");
  EXPECT_THAT(cycleLines().back(), StartsWith("delivery result=failed"));
}

TEST_F(DictationCycle, TheMeterFollowsTheMicrophoneUntilTheRecordingStopsItself) {
  startDictation();
  speak(1.0);
  clock.advance(DictationController::supervisionPeriod);
  EXPECT_GT(state().level, 0.3f);
  clock.advanceSeconds(Recorder::maximumDuration - 0.2);
  EXPECT_EQ(state().phase, DictationPhase::recording);
  clock.advance(std::chrono::milliseconds(200) + DictationController::supervisionPeriod);
  EXPECT_EQ(state().phase, DictationPhase::processing);
  EXPECT_EQ(state().level, 0);
  finishProcessing();
  EXPECT_EQ(editorField->text(), "已整理的文字");
}

}  // namespace
