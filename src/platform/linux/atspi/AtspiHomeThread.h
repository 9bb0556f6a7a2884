#pragma once

#include <glib.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace wrenly {

// The one thread that talks to libatspi, which is single-threaded and needs its GLib main
// context running (events, replies). Other threads hand it work and wait for the answer at most
// a given time, so an application that never answers holds up only this thread.
//
// It runs the process's default GLib context, not one of its own: libatspi attaches its direct
// connections to applications to the default context whatever it is told, so whichever thread
// ran that context would dispatch libatspi's callbacks beside this one (a race that aborts in
// libdbus). Nothing else may run the default context; the program keeps Qt off GLib for that.
class AtspiHomeThread {
 public:
  // Starts the thread and connects to the accessibility bus there.
  AtspiHomeThread();
  ~AtspiHomeThread();
  AtspiHomeThread(const AtspiHomeThread&) = delete;
  AtspiHomeThread& operator=(const AtspiHomeThread&) = delete;

  // Runs `job` on the home thread and returns its result, or none when it has not finished
  // within `bound` (it is then skipped if it has not started, or its result dropped).
  template <typename T>
  std::optional<T> call(std::function<T()> job, std::chrono::milliseconds bound);

  // Runs `job` on the home thread some time later (at once when called there).
  void post(std::function<void()> job);

  bool onHomeThread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  void run(std::promise<void>& started);

  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  std::thread thread_;
};

template <typename T>
std::optional<T> AtspiHomeThread::call(std::function<T()> job, std::chrono::milliseconds bound) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable finished;
    std::optional<T> result;
    bool abandoned = false;
  };
  auto shared = std::make_shared<Shared>();
  const auto deadline = std::chrono::steady_clock::now() + bound;
  post([shared, deadline, job = std::move(job)] {
    {
      std::lock_guard lock(shared->mutex);
      if (shared->abandoned || std::chrono::steady_clock::now() >= deadline) return;
    }
    T value = job();
    std::lock_guard lock(shared->mutex);
    shared->result = std::move(value);
    shared->finished.notify_all();
  });
  std::unique_lock lock(shared->mutex);
  shared->finished.wait_until(lock, deadline, [&] { return shared->result.has_value(); });
  shared->abandoned = true;
  return std::move(shared->result);
}

}  // namespace wrenly
