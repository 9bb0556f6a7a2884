#include "streaming/LiveRecognitionClient.h"

#include <boost/asio/associated_cancellation_slot.hpp>
#include <boost/asio/associated_executor.hpp>
#include <boost/asio/post.hpp>
#include <boost/system/system_error.hpp>
#include <chrono>
#include <deque>
#include <variant>

#include "base/SerialQueue.h"
#include "diagnostics/Diagnostics.h"
#include "platform/Clock.h"
#include "service/ServiceError.h"
#include "service/UsableToken.h"
#include "streaming/StreamError.h"
#include "streaming/StreamMessage.h"
#include "streaming/StreamTransport.h"

namespace wrenly {

namespace {

constexpr std::size_t pendingLimit = 320000;  // 10 s of audio at 32000 bytes per second
constexpr auto startupLimit = std::chrono::seconds(10);
constexpr auto finalLimit = std::chrono::seconds(12);
constexpr std::string_view finishFrame = R"({"type":"finish"})";

using Outcome = std::variant<LiveRecognitionResult, std::exception_ptr>;

std::exception_ptr cancellation() {
  return std::make_exception_ptr(boost::system::system_error(asio::error::operation_aborted));
}

std::exception_ptr transportFailure(boost::system::error_code ec) {
  return std::make_exception_ptr(boost::system::system_error(ec));
}

}  // namespace

// A caller of finish() waiting for the outcome; resumed on its own executor.
struct FinishWaiter {
  using Handler = asio::any_completion_handler<void(std::exception_ptr, LiveRecognitionResult)>;
  Handler handler;
  asio::any_io_executor resumeOn;
  asio::cancellation_slot slot;

  // Takes the outcome: the waiter is its only owner from here, so the error is released on the
  // thread that reads it, never on the pool behind the reader's back.
  void complete(Outcome outcome) {
    std::exception_ptr error;
    LiveRecognitionResult result;
    if (auto* failure = std::get_if<std::exception_ptr>(&outcome)) {
      error = std::move(*failure);
    } else {
      result = std::move(std::get<LiveRecognitionResult>(outcome));
    }
    asio::post(resumeOn, [handler = std::move(handler), slot = slot, error = std::move(error),
                          result = std::move(result)]() mutable {
      if (slot.is_connected()) slot.clear();
      std::move(handler)(std::move(error), std::move(result));
    });
  }
};

// All state of one session. Every member below `queue` is touched only on `queue`.
class LiveRecognitionClient::Session : public std::enable_shared_from_this<Session> {
 public:
  Session(std::string requestID, std::string language, bool cleanup,
          StreamingSpeechDependencies dependencies, std::string vocabulary)
      : queue("Wrenly.speech.websocket", dependencies.background),
        requestID_(std::move(requestID)),
        language_(std::move(language)),
        cleanup_(cleanup),
        vocabulary_(std::move(vocabulary)),
        dependencies_(std::move(dependencies)),
        openedAt_(dependencies_.clock.now()) {}

  ~Session() {
    // Only reached with a live transport when the pool dropped our work unrun.
    if (transport_) asio::post(queue.executor(), [transport = transport_] { transport->close(); });
  }

  // Runs on the pool: anything thrown here would end the program, so it becomes the outcome.
  void connect() {
    try {
      open();
    } catch (...) {
      resolve(std::current_exception());
    }
  }

  void open() {
    std::optional<std::string> token;
    if (dependencies_.streamingToken) token = usableToken(dependencies_.streamingToken());
    if (!token) return resolve(std::make_exception_ptr(ServiceError::missingInvitation()));
    if (!dependencies_.endpoint)
      return resolve(std::make_exception_ptr(ServiceError::invalidURL()));
    StreamAddress address =
        StreamAddress::make(*dependencies_.endpoint, requestID_, language_, cleanup_, vocabulary_,
                            static_cast<bool>(dependencies_.onInterim));

    boost::system::error_code failure;
    transport_ = dependencies_.makeTransport(queue.executor(), dependencies_.trust,
                                             dependencies_.clock, failure);
    if (!transport_ && !failure) failure = asio::error::fault;
    if (failure) return resolve(transportFailure(failure));
    transport_->connect(address,
                        {{"Authorization", "Bearer " + *token}, {"Cache-Control", "no-store"}},
                        [weak = weak_from_this()](boost::system::error_code ec) {
                          auto self = weak.lock();
                          if (!self || self->settled_) return;
                          if (ec) return self->resolve(transportFailure(ec));
                          self->receiveNext();
                        });
    startupTimeout_ =
        dependencies_.clock.after(queue.executor(), startupLimit, [weak = weak_from_this()] {
          auto self = weak.lock();
          if (self && !self->ready_)
            self->resolve(std::make_exception_ptr(StreamError::startTimeout()));
        });
  }

  void accept(std::vector<uint8_t> chunk) {
    if (settled_ || ending_ || chunk.empty()) return;
    if (pendingBytes_ + chunk.size() > pendingLimit) {
      return resolve(std::make_exception_ptr(StreamError::backpressure()));
    }
    pendingBytes_ += chunk.size();
    pending_.push_back(std::move(chunk));
    pump();
  }

  // Only the first finish() gets the outcome; any other call is refused.
  void beginFinish(std::shared_ptr<FinishWaiter> waiter) {
    if (finishCalled_)
      return waiter->complete(std::make_exception_ptr(StreamError::invalidResponse()));
    finishCalled_ = true;
    if (settled_) {
      waiter->complete(std::move(*outcome_));
      outcome_.reset();
      return;
    }
    waiter_ = std::move(waiter);
    ending_ = true;
    finalTimeout_ =
        dependencies_.clock.after(queue.executor(), finalLimit, [weak = weak_from_this()] {
          if (auto self = weak.lock()) {
            self->resolve(std::make_exception_ptr(StreamError::finalTimeout()));
          }
        });
    pump();
  }

  // Settles the session; only the first call counts.
  void resolve(Outcome outcome) {
    if (settled_) return;
    settled_ = true;
    startupTimeout_.reset();
    finalTimeout_.reset();
    if (waiter_) {
      waiter_->complete(std::move(outcome));
      waiter_.reset();
    } else {
      outcome_ = std::move(outcome);  // kept for the finish() still to come
    }
    pending_.clear();
    pendingBytes_ = 0;
    if (transport_) {
      transport_->close();
      transport_.reset();
    }
  }

  SerialQueue queue;

 private:
  void receiveNext() {
    transport_->receive([weak = weak_from_this()](boost::system::error_code ec, std::string bytes) {
      auto self = weak.lock();
      if (self) self->received(ec, bytes);
    });
  }

  void received(boost::system::error_code ec, const std::string& bytes) {
    if (settled_) return;
    if (ec) return resolve(transportFailure(ec));
    StreamEvent event = interpretStreamMessage(bytes, finishSent_);
    if (std::holds_alternative<StreamReady>(event)) {
      ready_ = true;
      startupTimeout_.reset();
      const auto elapsed =
          static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     dependencies_.clock.now() - openedAt_)
                                     .count());
      Diagnostics::record("stream ready milliseconds=" + std::to_string(elapsed));
      pump();
      if (!settled_) receiveNext();
    } else if (auto* result = std::get_if<LiveRecognitionResult>(&event)) {
      Diagnostics::record("stream result segments=" + std::to_string(result->segments) +
                          ", originalSegments=" + std::to_string(result->fallbackSegments));
      resolve(std::move(*result));
    } else if (auto* interim = std::get_if<StreamInterim>(&event);
               interim && dependencies_.onInterim) {
      // Words only: they are shown, never logged.
      dependencies_.onInterim(std::move(interim->text));
      receiveNext();
    } else if (auto* failure = std::get_if<StreamServiceFailure>(&event)) {
      Diagnostics::record("stream service code=" + failure->code);
      resolve(std::make_exception_ptr(ServiceError::service(failure->code)));
    } else {
      resolve(std::make_exception_ptr(StreamError::invalidResponse()));
    }
  }

  // Sends the next frame when the service is ready and nothing is in flight.
  void pump() {
    if (settled_ || !ready_ || sending_ || !transport_) return;
    auto sent = [weak = weak_from_this()](boost::system::error_code ec) {
      auto self = weak.lock();
      if (!self) return;
      self->sending_ = false;
      if (self->settled_) return;
      if (ec) return self->resolve(transportFailure(ec));
      self->pump();
    };
    if (!pending_.empty()) {
      std::vector<uint8_t> chunk = std::move(pending_.front());
      pending_.pop_front();
      pendingBytes_ -= chunk.size();
      sending_ = true;
      transport_->sendBinary(std::move(chunk), std::move(sent));
    } else if (ending_ && !finishSent_) {
      finishSent_ = true;
      sending_ = true;
      transport_->sendText(std::string(finishFrame), std::move(sent));
    }
  }

  const std::string requestID_;
  const std::string language_;
  const bool cleanup_;
  const std::string vocabulary_;
  StreamingSpeechDependencies dependencies_;
  std::shared_ptr<StreamTransport> transport_;
  std::deque<std::vector<uint8_t>> pending_;
  std::size_t pendingBytes_ = 0;
  bool ready_ = false;
  bool sending_ = false;
  bool ending_ = false;
  bool finishSent_ = false;
  bool finishCalled_ = false;
  bool settled_ = false;
  std::optional<Outcome> outcome_;  // only while settled and no finish() has taken it yet
  std::shared_ptr<FinishWaiter> waiter_;
  std::unique_ptr<Clock::Timer> startupTimeout_;
  std::unique_ptr<Clock::Timer> finalTimeout_;
  const Clock::Duration openedAt_;
};

LiveRecognitionClient::LiveRecognitionClient(std::string requestID, std::string language,
                                             bool cleanup, StreamingSpeechDependencies dependencies,
                                             std::string vocabulary)
    : requestID_(requestID),
      session_(std::make_shared<Session>(std::move(requestID), std::move(language), cleanup,
                                         std::move(dependencies), std::move(vocabulary))) {
  session_->queue.post([session = session_] { session->connect(); });
}

LiveRecognitionClient::~LiveRecognitionClient() {
  cancel();
}

void LiveRecognitionClient::append(std::vector<uint8_t> pcm) {
  session_->queue.post(
      [session = session_, pcm = std::move(pcm)]() mutable { session->accept(std::move(pcm)); });
}

void LiveRecognitionClient::cancel() {
  session_->queue.post([session = session_] { session->resolve(cancellation()); });
}

void LiveRecognitionClient::startFinish(const std::shared_ptr<Session>& session,
                                        asio::any_io_executor resumeOn, FinishHandler handler) {
  // Built in place: this release of Asio cannot move-assign a type-erased handler.
  auto slot = asio::get_associated_cancellation_slot(handler);
  auto waiter = std::make_shared<FinishWaiter>(std::move(handler), std::move(resumeOn), slot);
  if (waiter->slot.is_connected()) {
    // Cancelling the awaiting coroutine abandons the whole session.
    waiter->slot.assign([weak = std::weak_ptr(session)](asio::cancellation_type) {
      if (auto s = weak.lock()) s->queue.post([s] { s->resolve(cancellation()); });
    });
  }
  session->queue.post([session, waiter] { session->beginFinish(waiter); });
}

}  // namespace wrenly
