#pragma once

#include <memory>

#include "base/HandlerList.h"
#include "base/StoredNames.h"
#include "controller/DictationState.h"
#include "controller/StreamingSession.h"
#include "platform/Asio.h"
#include "platform/Clock.h"
#include "platform/Platform.h"

namespace wrenly {

class BrowserSignIn;
class Overlay;
class Recorder;
class Settings;
class SpeechService;
class TextDelivery;
class Workspace;

// What the controller drives; all borrowed, and all must outlive it. The platform must provide
// mainLoop, background, clock, settings, workspace and overlay, plus the desktop ports the
// trigger key needs (accessibility, key monitor, chord registrar).
struct ControllerDependencies {
  const Platform& platform;
  SpeechService& service;
  TextDelivery& insertion;
  Recorder& recorder;
  BrowserSignIn& browserSignIn;
  // Opens live sessions; without one, every dictation is recognised after it stops.
  StreamingSessionFactory openStreamingSession;
};

// What the controller's collaborators share: the ports, the one published state each writes
// its own part of, and the task spawning. Every member is used on the main loop.
class ControllerContext {
 public:
  // Reads the stored preferences and the permission into the state.
  explicit ControllerContext(ControllerDependencies dependencies);

  ControllerDependencies ports;
  asio::any_io_executor mainLoop;
  Clock& clock;
  Settings& settings;
  Workspace& workspace;
  Overlay& overlay;

  DictationState state;
  HandlerList<const DictationState&> observers;
  // The controller that owns the collaborators: waiting tasks hold it weakly, so releasing it
  // ends them.
  std::weak_ptr<const void> owner;

  void spawn(asio::awaitable<void> task);
  // Tells the observers when the state differs from what they saw last.
  void publish();

 private:
  friend class ControllerChange;
  DictationState published_;
  int changeDepth_ = 0;
};

// One step of the controller: observers hear of the state once, when the outermost step ends,
// and only when something they can see changed. Never held across a suspension.
class ControllerChange {
 public:
  explicit ControllerChange(ControllerContext& context) : context_(context) {
    ++context_.changeDepth_;
  }
  ~ControllerChange() {
    if (--context_.changeDepth_ == 0) context_.publish();
  }
  ControllerChange(const ControllerChange&) = delete;
  ControllerChange& operator=(const ControllerChange&) = delete;

 private:
  ControllerContext& context_;
};

// Holds `owner` for as long as `task` runs, from the moment this is called: a coroutine's body
// runs only once it is awaited, and the caller may drop its reference before then.
template <typename T>
asio::awaitable<T> keepAlive([[maybe_unused]] std::shared_ptr<const void> owner,
                             asio::awaitable<T> task) {
  co_return co_await std::move(task);
}

}  // namespace wrenly
