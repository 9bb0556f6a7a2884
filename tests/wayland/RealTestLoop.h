#pragma once
// What the Wayland real tests share: the main loop they run by hand while they wait for the
// desktop, a shell command's output, and times in milliseconds for their figures.
#include <boost/asio/io_context.hpp>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace wrenly::realtest {

using Stopwatch = std::chrono::steady_clock;

inline boost::asio::io_context mainLoop;

// Runs the main loop until `done` holds; false after 10 s without.
inline bool runUntil(const std::function<bool()>& done) {
  const auto deadline = Stopwatch::now() + std::chrono::seconds(10);
  while (!done()) {
    if (Stopwatch::now() >= deadline) return false;
    mainLoop.restart();  // a poll without work stops the loop
    mainLoop.poll();
    std::this_thread::yield();
  }
  return true;
}

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
