#include "base/SerialQueue.h"

#include <boost/asio/post.hpp>
#include <condition_variable>
#include <exception>
#include <mutex>

namespace wrenly {

SerialQueue::SerialQueue(std::string label, asio::any_io_executor executor)
    : label_(std::move(label)), strand_(asio::make_strand(std::move(executor))) {}

void SerialQueue::post(std::function<void()> work) {
  asio::post(strand_, std::move(work));
}

bool SerialQueue::sync(const std::function<void()>& work) {
  if (isCurrent()) return false;
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  std::exception_ptr failure;
  asio::post(strand_, [&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard lock(mutex);
    finished = true;
    done.notify_one();
  });
  std::unique_lock lock(mutex);
  done.wait(lock, [&] { return finished; });
  if (failure) std::rethrow_exception(failure);
  return true;
}

}  // namespace wrenly
