#pragma once

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controller/StreamingSession.h"
#include "platform/Overlay.h"
#include "service/SpeechService.h"
#include "support/service/ScriptedBrowser.h"

namespace wrenly {

// The overlay as the controller drives it.
class FakeOverlay final : public Overlay {
 public:
  void show(const OverlaySnapshot& content) override {
    ++shows;
    visible = true;
    shown = content;
  }
  void hide() override {
    ++hides;
    visible = false;
  }
  int shows = 0;
  int hides = 0;
  bool visible = false;
  OverlaySnapshot shown;
};

// The speech service in memory: answers at once with its texts, records what the controller
// asked, and fails or holds the calls the test names ("transcribe", "clean", "applySpokenTask",
// "accountStatus", "signOut", "removeAccess").
class MemorySpeechService final : public SpeechService {
 public:
  struct Call {
    std::string name;
    std::string text;                      // the instruction of a spoken task
    std::optional<std::string> requestID;  // the stream recovered, or the source request
    std::string vocabulary;                // the hint of a recognition
  };

  std::atomic<bool> activated = false;
  std::string transcript = "測試轉錄";
  std::string cleanedText = "已整理的文字";
  std::vector<Call> calls;

  // The next `count` calls of `name` fail with `error`.
  void fail(const std::string& name, std::exception_ptr error, int count = 1) {
    failures_[name] = {std::move(error), count};
  }
  // The next call of `name` waits until release().
  void hold(const std::string& name) { held_ = name; }
  void release() { wakeup_.wake(); }
  std::size_t count(const std::string& name) const {
    return std::ranges::count(calls, name, &Call::name);
  }

  bool isActivated() const override { return activated; }
  bool isLocal() const override { return local; }
  bool local = false;  // signs in as the local service does
  asio::awaitable<std::string> transcribe(std::span<const std::uint8_t>, std::string,
                                          std::optional<std::string> recoveryID, std::string,
                                          std::string vocabulary) override {
    record("transcribe", {}, recoveryID, std::move(vocabulary));
    co_await answer("transcribe");
    co_return transcript;
  }
  asio::awaitable<std::string> clean(std::string,
                                     std::optional<std::string> sourceRequestID) override {
    record("clean", {}, sourceRequestID);
    co_await answer("clean");
    co_return cleanedText;
  }
  asio::awaitable<std::string> applySpokenTask(std::string, std::string instruction,
                                               std::optional<std::string> sourceID) override {
    record("applySpokenTask", instruction, sourceID);
    co_await answer("applySpokenTask");
    co_return "已改寫的文字";
  }
  asio::awaitable<AccountStatus> accountStatus() override {
    co_await recorded("accountStatus");
    co_return AccountStatus{true};
  }
  EngineInfo engine{true, {VoiceLanguage::english}};
  asio::awaitable<EngineInfo> engineInfo() override {
    co_await recorded("engineInfo");
    co_return engine;
  }
  asio::awaitable<void> signOut() override { return recorded("signOut"); }
  asio::awaitable<void> removeAccess() override { return recorded("removeAccess"); }

 private:
  void record(const char* name, std::string text = {},
              std::optional<std::string> requestID = std::nullopt, std::string vocabulary = {}) {
    calls.push_back({name, std::move(text), std::move(requestID), std::move(vocabulary)});
  }
  // A call without details: recorded at once, answered when awaited.
  asio::awaitable<void> recorded(const char* name) {
    record(name);
    return answer(name);
  }
  // Only a plain pointer crosses into the coroutine: a temporary with a destructor in a
  // co_await expression trips the compiler.
  asio::awaitable<void> answer(const char* name) {
    if (held_ == name) {
      held_.clear();
      co_await wakeup_.wait();
    }
    auto failure = failures_.find(name);
    if (failure != failures_.end() && failure->second.second > 0) {
      --failure->second.second;
      std::rethrow_exception(failure->second.first);
    }
  }

  std::map<std::string, std::pair<std::exception_ptr, int>> failures_;
  std::string held_;
  Wakeup wakeup_;
};

// A live session as the controller opened it, around the real one: what it was opened with,
// and what the controller did with it.
class RecordedSession final : public StreamingSession {
 public:
  RecordedSession(std::shared_ptr<StreamingSession> inner, std::string languageCode,
                  bool withCleanup, std::string hint = {})
      : language(std::move(languageCode)),
        cleanup(withCleanup),
        vocabulary(std::move(hint)),
        inner_(std::move(inner)) {}

  const std::string& requestID() const override { return inner_->requestID(); }
  void append(std::vector<std::uint8_t> pcm) override {
    bytes += pcm.size();
    inner_->append(std::move(pcm));
  }
  asio::awaitable<Result> finish() override { return inner_->finish(); }
  void cancel() override {
    ++cancels;
    inner_->cancel();
  }

  const std::string language;
  const bool cleanup;
  const std::string vocabulary;
  std::atomic<std::size_t> bytes = 0;
  std::atomic<int> cancels = 0;

 private:
  std::shared_ptr<StreamingSession> inner_;
};

}  // namespace wrenly
