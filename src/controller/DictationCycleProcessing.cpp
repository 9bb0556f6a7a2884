#include <algorithm>
#include <span>

#include "audio/Recorder.h"
#include "audio/VoiceActivity.h"
#include "base/Uuid.h"
#include "controller/AccountActions.h"
#include "controller/DictationCycle.h"
#include "controller/NoticeTimer.h"
#include "controller/TriggerKeySetup.h"
#include "delivery/TextDelivery.h"
#include "diagnostics/Diagnostics.h"
#include "messages/ErrorText.h"
#include "messages/Messages.h"
#include "platform/Clock.h"
#include "platform/Overlay.h"
#include "service/SpeechService.h"
#include "service/TextTrimming.h"
#include "text/ChineseOutput.h"
#include "text/SpeechCleanup.h"
#include "text/VoiceLanguage.h"

namespace wrenly {

// What one run of processing works on; owned by its task.
struct DictationCycle::Processing {
  std::shared_ptr<const std::vector<std::uint8_t>> wav;
  std::optional<InputTarget> destination;
  std::optional<SelectedText> selection;
  std::shared_ptr<StreamingSession> stream;
  std::optional<std::string> recoveryID;
  Clock::Duration started{};  // Clock::now() when processing began
  std::string sourceRequestID;
};

namespace {

constexpr std::size_t wavHeaderBytes = 44;
constexpr std::size_t wavBytesPerMillisecond = 32;  // 16 kHz, 16-bit, mono
const std::string language{VoiceLanguage(VoiceLanguage::automatic).rawValue()};

std::string localFormat(std::string_view text, std::string_view recognized) {
  return ChineseOutput::normalize(SpeechCleanup::formatList(text), recognized);
}

// The user's replacements come last, so that what they wrote is what lands, whatever the script
// normalisation would have made of it.
std::string withOwnWords(const DictationState& state, std::string_view text) {
  return applyReplacements(text, state.ownWords->replacements);
}

}  // namespace

void DictationCycle::stop() {
  if (state_.phase != Phase::recording) return;
  ControllerChange change(context_);
  if (run_.meterTask) {
    run_.meterTask->emit(asio::cancellation_type::terminal);
    run_.meterTask.reset();
  }
  state_.level = 0;
  state_.interimText.clear();

  std::vector<std::uint8_t> wav;
  try {
    wav = context_.ports.recorder.finish();
  } catch (const std::exception& error) {
    // Not kept for retry: there is nothing usable. An earlier kept recording stays.
    endStart(describe(error, Messages::recordingNotFinished), Messages::recordingNotFinished);
    return;
  }
  // A take without speech goes nowhere, nor is it kept: recognisers invent sentences for
  // silence. A live session has had the audio already; it is dropped without awaiting a result,
  // since the decision needs the whole take and holding the stream back until a voiced frame
  // would delay the words of everyone who speaks at once.
  auto speech = VoiceActivity::keepSpeech(wav);
  if (!speech) {
    const std::size_t audioBytes = wav.size() > wavHeaderBytes ? wav.size() - wavHeaderBytes : 0;
    Diagnostics::record("no_speech audio_ms=" +
                        std::to_string(audioBytes / wavBytesPerMillisecond));
    endStart(Messages::noVoiceDetected, Messages::noVoiceDetectedNotice);
    return;
  }
  wav = std::move(*speech);

  state_.phase = Phase::processing;
  state_.message = state_.isEditingSelection ? Messages::recognizingTask : Messages::recognizing;
  auto destination = std::exchange(run_.target, std::nullopt);
  auto selection = std::exchange(run_.selection, std::nullopt);
  state_.isEditingSelection = false;
  auto stream = std::exchange(run_.liveSession, nullptr);
  std::optional<std::string> recoveryID;
  if (stream) recoveryID = stream->requestID();
  process(std::make_shared<const std::vector<std::uint8_t>>(std::move(wav)), std::move(destination),
          std::move(selection), std::move(stream), std::move(recoveryID));
}

void DictationCycle::process(std::shared_ptr<const std::vector<std::uint8_t>> wav,
                             std::optional<InputTarget> destination,
                             std::optional<SelectedText> selection,
                             std::shared_ptr<StreamingSession> stream,
                             std::optional<std::string> recoveryID) {
  ControllerChange change(context_);
  retryRecording_ = RetryRecording{wav, selection, recoveryID};
  state_.hasRetryRecording = false;

  auto job = std::make_shared<Processing>();
  job->wav = std::move(wav);
  job->destination = std::move(destination);
  job->selection = std::move(selection);
  job->stream = std::move(stream);
  job->recoveryID = std::move(recoveryID);
  job->started = clock_.now();

  const std::size_t audioBytes =
      job->wav->size() > wavHeaderBytes ? job->wav->size() - wavHeaderBytes : 0;
  Diagnostics::record(std::string("processing start streaming=") +
                      (job->stream ? "true" : "false") +
                      " audio_ms=" + std::to_string(audioBytes / wavBytesPerMillisecond));
  context_.spawn(runProcessing(context_.owner.lock(), std::move(job)));
}

namespace {

std::string millisecondsSince(const Clock& clock, Clock::Duration started) {
  const auto elapsed = std::max(Clock::Duration::zero(), clock.now() - started);
  return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

}  // namespace

asio::awaitable<void> DictationCycle::runProcessing(
    [[maybe_unused]] std::shared_ptr<const void> self, std::shared_ptr<Processing> job) {
  // `self` keeps the controller alive from the moment processing is started until it ends.
  auto& service = context_.ports.service;

  std::optional<StreamingSession::Result> streamed;
  if (job->stream) {
    std::exception_ptr streamError;
    try {
      streamed = co_await job->stream->finish();
      job->sourceRequestID = job->stream->requestID();
    } catch (...) {
      streamError = std::current_exception();
    }
    if (streamError) {
      job->stream->cancel();
      Diagnostics::record("stream fallback " + Diagnostics::errorCode(streamError));
      ControllerChange change(context_);
      state_.message = Messages::streamFallback;
    }
  }

  std::string out;
  bool cleanupIncomplete = false;
  std::exception_ptr failure;
  try {
    if (streamed) {
      if (job->selection) {
        out = co_await service.applySpokenTask(job->selection->text, streamed->transcript,
                                               job->sourceRequestID);
      } else {
        out = localFormat(streamed->text, streamed->transcript);
      }
    } else {
      const auto requestID = makeUuid();
      job->sourceRequestID = requestID;
      const std::string transcript =
          co_await service.transcribe(std::span(*job->wav), language, job->recoveryID, requestID,
                                      vocabularyHint(*state_.ownWords));
      if (job->selection) {
        out = co_await service.applySpokenTask(job->selection->text, transcript,
                                               job->sourceRequestID);
      } else {
        const std::string trimmed{trimWhitespaceAndNewlines(transcript)};
        {
          // Shown and on the clipboard while the service's clean-up is awaited.
          ControllerChange change(context_);
          state_.lastText = withOwnWords(state_, localFormat(trimmed, transcript));
          context_.ports.insertion.copy(state_.lastText);
        }
        std::optional<std::string> cleaned;
        try {
          cleaned = co_await service.clean(trimmed, job->sourceRequestID);
        } catch (const std::exception&) {
          // Not a failure: the locally tidied transcript is delivered.
        }
        if (cleaned) {
          out = localFormat(*cleaned, transcript);
        } else {
          out = localFormat(trimmed, transcript);
          cleanupIncomplete = true;
        }
      }
    }
  } catch (...) {
    failure = std::current_exception();
  }

  if (failure) {
    failProcessing(*job, failure);
  } else {
    co_await deliver(job, std::move(out), cleanupIncomplete);
  }
  account_.spawnAccountStatusUpdate();
}

asio::awaitable<void> DictationCycle::deliver(std::shared_ptr<Processing> job, std::string out,
                                              bool cleanupIncomplete) {
  out = withOwnWords(state_, out);
  {
    ControllerChange change(context_);
    state_.lastText = out;
    remember(out, job->destination);
    retryRecording_.reset();
    state_.hasRetryRecording = false;
  }
  Diagnostics::record("text_ready stop_ms=" + millisecondsSince(clock_, job->started));
  std::optional<std::string> replacing;
  if (job->selection) replacing = job->selection->text;
  const auto result = co_await context_.ports.insertion.insert(std::move(out), job->destination,
                                                               std::move(replacing));
  Diagnostics::record("delivery result=" + std::string(name(result)) +
                      " stop_ms=" + millisecondsSince(clock_, job->started));

  ControllerChange change(context_);
  reportDelivery(result);
  if (cleanupIncomplete) state_.message += Messages::cleanupIncomplete;
}

void DictationCycle::failProcessing(const Processing& job, const std::exception_ptr& error) {
  ControllerChange change(context_);
  // retryRecording_ still holds what process() kept.
  state_.hasRetryRecording = true;
  Diagnostics::record("processing failed elapsed_ms=" + millisecondsSince(clock_, job.started) +
                      " " + Diagnostics::errorCode(error));
  state_.message = describe(error, {}, state_.localService) + Messages::recordingKept;
  state_.phase = Phase::idle;
  notices_.show(Messages::recordingKeptNotice);
}

void DictationCycle::retryLastRecording() {
  if (state_.phase != Phase::idle || !retryRecording_) return;
  if (state_.activationInProgress) {
    refuse(Messages::accountActionRunning, Messages::accountActionRunningNotice);
    return;
  }
  const RetryRecording kept = *retryRecording_;
  auto destination = kept.selection ? kept.selection->target : fieldForWindowRequest();

  ControllerChange change(context_);
  state_.phase = Phase::processing;
  state_.message = Messages::retrying;
  notices_.showActivity(OverlaySnapshot::Activity::processing);
  process(kept.wav, std::move(destination), kept.selection, nullptr, kept.recoveryID);
}

}  // namespace wrenly
