#pragma once
// What the real-component tests share: the main loop they run by hand while they wait for the
// desktop, the text they paste and how they read it back, the front application's changes, and a
// shell command's output.
#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Accessibility.h"
#include "platform/Workspace.h"

namespace wrenly::realtest {

using Stopwatch = std::chrono::steady_clock;

inline boost::asio::io_context mainLoop;

inline const std::string pasted = "這是測試。";  // five UTF-16 units

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

// Whether the caret of `field` comes to `location`.
inline bool caretAt(const ElementHandle& field, int64_t location) {
  return runUntil([&] {
    const auto caret = field->selectedRange();
    return caret && caret->location == location;
  });
}

// `pasted` landed at `from`: the caret comes to its end, and selecting it reads it back (a
// browser shows the selection a moment later). The caret goes back to its end for the next paste.
inline ::testing::AssertionResult landedAt(const ElementHandle& field, int64_t from) {
  if (!caretAt(field, from + 5)) return ::testing::AssertionFailure() << "the caret did not move";
  std::optional<std::string> text;
  const bool read = field->setSelectedRange({from, 5}) &&
                    runUntil([&] { return (text = field->selectedText()) == pasted; });
  if (field->setSelectedRange({from + 5, 0}) && read) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "read back: " << text.value_or("?");
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

}  // namespace wrenly::realtest
