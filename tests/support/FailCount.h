#pragma once

#include <atomic>
#include <cstddef>

namespace wrenly {

// Counts the operations of a scripted fake and picks one to fail: the n-th (from 1). Sweeping n
// from 1 until a run no longer reaches it fails every operation of that run once. Shared by
// fakes on several threads.
class FailCount {
 public:
  explicit FailCount(std::size_t n) : n_(n) {}
  // Counts one operation; true when it is the one to fail.
  bool fail() { return ++seen_ == n_; }
  // Whether the run reached the operation to fail.
  bool reached() const { return seen_.load() >= n_; }

 private:
  const std::size_t n_;
  std::atomic<std::size_t> seen_{0};
};

}  // namespace wrenly
