#pragma once

#include <boost/asio/strand.hpp>
#include <functional>
#include <string>

#include "platform/Asio.h"

namespace wrenly {

// A named serial queue: work posted to it runs one item at a time, in order, on the executor
// it was made from (normally the background pool).
class SerialQueue {
 public:
  SerialQueue(std::string label, asio::any_io_executor executor);

  const std::string& label() const { return label_; }
  asio::strand<asio::any_io_executor>& executor() { return strand_; }

  void post(std::function<void()> work);

  // Runs `work` on the queue and waits for it. Returns false without running it when called
  // from the queue itself, which would otherwise deadlock.
  bool sync(const std::function<void()>& work);

  bool isCurrent() const { return strand_.running_in_this_thread(); }

 private:
  std::string label_;
  asio::strand<asio::any_io_executor> strand_;
};

}  // namespace wrenly
