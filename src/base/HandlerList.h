#pragma once

#include <boost/asio/post.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "base/Subscription.h"
#include "platform/Asio.h"

namespace wrenly {

// The subscribers of one event stream, all on one thread. A handler removed while an event is being
// delivered (even by itself) is not called again, and is never destroyed while it runs.
template <typename... Args>
class HandlerList {
 public:
  using Handler = std::function<void(Args...)>;

  Subscription add(Handler handler) {
    const uint64_t id = state_->next++;
    state_->handlers.emplace(id, std::move(handler));
    return Subscription([weak = std::weak_ptr<State>(state_), id] {
      if (auto state = weak.lock()) state->handlers.erase(id);
    });
  }

  // Calls every current handler now.
  void call(const Args&... args) const { deliver(state_, args...); }

  // Calls every handler current at delivery time, later, on `executor`.
  void post(const asio::any_io_executor& executor, Args... args) const {
    asio::post(executor, [weak = std::weak_ptr<State>(state_), args...] {
      if (auto state = weak.lock()) deliver(state, args...);
    });
  }

  size_t size() const { return state_->handlers.size(); }

 private:
  struct State {
    uint64_t next = 0;
    std::map<uint64_t, Handler> handlers;
  };

  static void deliver(const std::shared_ptr<State>& state, const Args&... args) {
    // Only the handlers present now, each looked up afresh in case an earlier one removed it.
    const uint64_t end = state->next;
    for (auto it = state->handlers.begin(); it != state->handlers.end() && it->first < end;) {
      Handler handler = it->second;  // survives its own removal
      const uint64_t next = it->first + 1;
      handler(args...);
      it = state->handlers.lower_bound(next);
    }
  }

  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace wrenly
