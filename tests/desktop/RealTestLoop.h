#pragma once
// What the real-component tests share: the main loop they run by hand while they wait for the
// desktop, the front application's changes, a shell command's output, and times in milliseconds
// for their figures.
#include <boost/asio/io_context.hpp>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Workspace.h"

namespace wrenly::realtest {

using Stopwatch = std::chrono::steady_clock;

inline boost::asio::io_context mainLoop;

// Runs the main loop, and `alsoRun` (a toolkit's events) with it, until `done` holds; false after
// `limit` without.
inline bool runUntil(const std::function<bool()>& done,
                     std::chrono::milliseconds limit = std::chrono::seconds(10),
                     const std::function<void()>& alsoRun = {}) {
  const auto deadline = Stopwatch::now() + limit;
  while (!done()) {
    if (Stopwatch::now() >= deadline) return false;
    mainLoop.restart();  // a loop that ran out of work stays stopped
    if (mainLoop.run_for(std::chrono::milliseconds(5)) == 0) std::this_thread::yield();
    if (alsoRun) alsoRun();
  }
  return true;
}

// The processes the workspace reports coming to the front and leaving it, in order.
struct FrontChanges {
  explicit FrontChanges(Workspace& workspace)
      : activations(workspace.onActivation(
            [this](const RunningApplication& a) { activated.push_back(a.processID); })),
        deactivations(workspace.onDeactivation(
            [this](const RunningApplication& a) { deactivated.push_back(a.processID); })) {}
  void clear() {
    activated.clear();
    deactivated.clear();
  }
  std::vector<int32_t> activated;
  std::vector<int32_t> deactivated;
  Subscription activations;
  Subscription deactivations;
};

inline std::string output(const std::string& command) {
  std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
  std::string text;
  for (int c; pipe && (c = fgetc(pipe.get())) != EOF;) text.push_back(static_cast<char>(c));
  return text;
}

inline double milliseconds(Stopwatch::duration elapsed) {
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

}  // namespace wrenly::realtest
