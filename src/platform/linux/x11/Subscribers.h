#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "platform/Subscription.h"

namespace wrenly {

// The handlers of one event stream of an adapter, all on one thread. A handler removed while an
// event is being delivered (even by itself) is not called again, and is never destroyed while it
// runs.
template <typename... Args>
class Subscribers {
 public:
  using Handler = std::function<void(Args...)>;

  Subscription add(Handler handler) {
    const uint64_t id = state_->next++;
    state_->handlers.emplace(id, std::move(handler));
    return Subscription([weak = std::weak_ptr<State>(state_), id] {
      if (auto state = weak.lock()) state->handlers.erase(id);
    });
  }

  void call(const Args&... args) const {
    auto state = state_;  // a handler may end the adapter itself
    const uint64_t end = state->next;
    for (auto it = state->handlers.begin(); it != state->handlers.end() && it->first < end;) {
      Handler handler = it->second;
      const uint64_t next = it->first + 1;
      handler(args...);
      it = state->handlers.lower_bound(next);
    }
  }

  bool empty() const { return state_->handlers.empty(); }

 private:
  struct State {
    uint64_t next = 0;
    std::map<uint64_t, Handler> handlers;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace wrenly
