#pragma once

#include <gtest/gtest.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <optional>

#include "delivery/TextDelivery.h"
#include "support/ManualClock.h"
#include "support/desktop/FakeDesktop.h"
#include "support/desktop/RecordedDiagnostics.h"

namespace wrenly {

using Lines = std::vector<std::string>;

// A desktop with an editor in front whose focused field holds "hello world", and a browser in
// the background.
struct InsertionFixture : testing::Test {
  RecordedDiagnostics log;  // first: points the log at a scratch folder
  asio::io_context loop;
  ManualClock clock{[this] { settle(); }};
  FakeDesktop desktop{loop.get_executor(), clock};
  TextDelivery insertion{desktop.platform()};
  FakeApplication& editor = desktop.launch("org.example.Editor");
  FakeApplication& browser = desktop.launch("org.example.Browser");
  std::shared_ptr<FakeElement> field = editor.addField();
  uint32_t editorWindow = 0;

  InsertionFixture() {
    browser.focus(browser.addField()).openWindow();
    desktop.activate(browser);
    field->setText("hello world");
    editorWindow = editor.focus(field).openWindow();
    desktop.activate(editor);
    settle();
  }

  void settle() {
    loop.poll();
    loop.restart();
  }

  // Runs a coroutine to its end, moving the clock a millisecond at a time.
  template <typename T>
  T finish(asio::awaitable<T> work) {
    std::optional<T> result;
    asio::co_spawn(loop, std::move(work), [&](std::exception_ptr error, T value) {
      if (error) std::rethrow_exception(error);
      result = std::move(value);
    });
    settle();
    for (int step = 0; !result && step < 5000; ++step) clock.advance(std::chrono::milliseconds(1));
    if (!result) throw std::runtime_error("the coroutine never finished");
    return std::move(*result);
  }
  void finish(asio::awaitable<void> work) {
    finish([](asio::awaitable<void> inner) -> asio::awaitable<bool> {
      co_await std::move(inner);
      co_return true;
    }(std::move(work)));
  }
};

}  // namespace wrenly
