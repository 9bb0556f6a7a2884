// Fails each operation of a whole dictation in turn, as a fault sweep: the n-th operation of
// the stream transport and the speech service (counted together) fails, for n from 1 until a
// dictation no longer reaches it. Whatever fails, the phase returns to idle and the recording
// is never lost: the text arrives, or the recording is kept and a retry delivers it.

#include "support/controller/ControllerFixture.h"

using namespace wrenly;

namespace {

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
