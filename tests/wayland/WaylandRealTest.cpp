// The Wayland adapters against headless sway (started by headless-sway.sh) and real editors in
// native Wayland windows, read back over the accessibility bus.
#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "platform/Clipboard.h"
#include "platform/KeyInjector.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/wayland/WaylandDesktop.h"

using namespace wrenly;
using namespace std::chrono_literals;
using Stopwatch = std::chrono::steady_clock;

namespace {

const std::string pasted = "這是測試。";  // five UTF-16 units

// Polls the real applications until `done` holds; false after 10 s without.
bool pollUntil(const std::function<bool()>& done) {
  const auto deadline = Stopwatch::now() + 10s;
  while (!done()) {
    if (Stopwatch::now() >= deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

std::string output(const std::string& command) {
  std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
  std::string text;
  for (int c; pipe && (c = fgetc(pipe.get())) != EOF;) text.push_back(static_cast<char>(c));
  return text;
}

double milliseconds(Stopwatch::duration elapsed) {
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

void report(const std::string& what, std::vector<double> times) {
  std::ranges::sort(times);
  std::cout << what << ": median " << times[times.size() / 2] << " ms of " << times.size() << "\n";
}

class WaylandDesktopTest : public ::testing::Test {
 protected:
  // One for the suite: its virtual keyboard is the headless seat's only keyboard, without which
  // no window has focus.
  static void SetUpTestSuite() { desktop = WaylandDesktop::open(nullptr).release(); }
  static void TearDownTestSuite() { delete desktop; }

  static inline WaylandDesktop* desktop = nullptr;
  AtspiAccessibility accessibility{AtspiAccessibility::KeyAccess::available};
};

TEST_F(WaylandDesktopTest, ClipboardIsSetWithoutAWindowAndOtherProgramsReadIt) {
  ASSERT_TRUE(desktop && desktop->clipboard());
  std::vector<double> times;
  for (const std::string text : {"first", "second", "third", "fourth", pasted.c_str()}) {
    const auto start = Stopwatch::now();
    ASSERT_TRUE(desktop->clipboard()->writeString(text));
    EXPECT_EQ(output("wl-paste --no-newline"), text);
    times.push_back(milliseconds(Stopwatch::now() - start));
  }
  report("clipboard set -> wl-paste has it", times);
  // Another program takes the clipboard: ours stops serving and a new write takes it back.
  ASSERT_EQ(std::system("wl-copy other"), 0);
  EXPECT_TRUE(pollUntil([] { return output("wl-paste --no-newline") == "other"; }));
  EXPECT_TRUE(desktop->clipboard()->writeString(pasted));
  EXPECT_EQ(output("wl-paste --no-newline"), pasted);
}

TEST_F(WaylandDesktopTest, VirtualKeyboardPastesIntoNativeEditors) {
  ASSERT_TRUE(desktop && desktop->clipboard() && desktop->keyInjector());
  ASSERT_TRUE(desktop->clipboard()->writeString(pasted));
  KeyInjector& keys = *desktop->keyInjector();
  for (const std::vector<std::string>& editorCommand :
       {std::vector<std::string>{"mousepad", "--disable-server"},
        std::vector<std::string>{"featherpad", "--standalone"}}) {
    SCOPED_TRACE(editorCommand[0]);
    ChildProcess editor(editorCommand);
    ElementHandle field;
    ASSERT_TRUE(pollUntil(
        [&] { return (field = accessibility.focusedElement(editor.pid(), 300ms)) != nullptr; }));
    std::vector<double> times;
    for (int run = 0; run < 5; ++run) {
      const auto before = field->selectedRange();
      ASSERT_TRUE(before);
      const auto start = Stopwatch::now();
      ASSERT_TRUE(keys.pasteKeyDown(editor.pid()));
      keys.pasteKeyUp();
      ASSERT_TRUE(pollUntil([&] {
        auto now = field->selectedRange();
        return now && now->location == before->location + 5;
      }));
      times.push_back(milliseconds(Stopwatch::now() - start));
      ASSERT_TRUE(field->setSelectedRange({before->location, 5}));
      EXPECT_EQ(field->selectedText(), pasted);
      ASSERT_TRUE(field->setSelectedRange({before->location + 5, 0}));
    }
    report(editorCommand[0] + ": paste keys -> text shown", times);
  }
}

}  // namespace
