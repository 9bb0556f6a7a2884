#pragma once

#include <boost/asio/associated_cancellation_slot.hpp>
#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <exception>
#include <functional>
#include <type_traits>

#include "platform/Asio.h"

namespace wrenly {

// Runs the blocking `work` on `background` and resumes the awaiting coroutine on its own
// executor with the result (or the exception `work` threw). When the coroutine is cancelled
// while it waits, `onCancel` runs on the cancelling thread; it should make `work` end soon.
template <typename Work, typename Result = std::invoke_result_t<Work&>>
asio::awaitable<Result> runInBackground(asio::any_io_executor background, Work work,
                                        std::function<void()> onCancel = {}) {
  static_assert(!std::is_void_v<Result>, "return a value");
  return asio::async_initiate<decltype(asio::use_awaitable), void(std::exception_ptr, Result)>(
      [background](auto handler, Work job, std::function<void()> cancel) {
        auto slot = asio::get_associated_cancellation_slot(handler);
        if (cancel && slot.is_connected()) {
          slot.assign([cancel](asio::cancellation_type) { cancel(); });
        }
        auto resume = asio::make_work_guard(asio::get_associated_executor(handler));
        asio::post(background, [job = std::move(job), handler = std::move(handler),
                                resume = std::move(resume), slot]() mutable {
          std::exception_ptr error;
          Result result{};
          try {
            Work run = std::move(job);  // what the job holds ends here, before the hand-off
            result = run();
          } catch (...) {
            error = std::current_exception();
          }
          // The outcome (and the work guard) move into the handler: from here on only the
          // awaiting side owns them, so the pool never releases what the coroutine reads.
          auto executor = resume.get_executor();
          asio::post(executor, [handler = std::move(handler), error = std::move(error), slot,
                                result = std::move(result), resume = std::move(resume)]() mutable {
            if (slot.is_connected()) slot.clear();
            std::move(handler)(std::move(error), std::move(result));
          });
        });
      },
      asio::use_awaitable, std::move(work), std::move(onCancel));
}

}  // namespace wrenly
