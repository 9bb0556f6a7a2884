#pragma once

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>

#include "delivery/TextDelivery.h"
#include "support/LoopDriver.h"
#include "support/desktop/FakeDesktop.h"
#include "support/desktop/RecordedDiagnostics.h"

namespace wrenly {

using Lines = std::vector<std::string>;

// A desktop with an editor in front whose focused field holds "hello world", and a browser in
// the background.
struct InsertionFixture : testing::Test {
  RecordedDiagnostics log;  // first: points the log at a scratch folder
  asio::io_context loop;
  ManualClock clock{[this] { driver.settle(); }};
  LoopDriver driver{loop, &clock};
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
    driver.settle();
  }
};

}  // namespace wrenly
