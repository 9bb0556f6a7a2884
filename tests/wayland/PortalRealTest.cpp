// Paste through the desktop portal and the compositor's clipboard on a headless KDE or GNOME
// session (started by headless-portal-desktop.sh), into a native GTK 3 editor read back over the
// accessibility bus. Where the desktop asks for consent, answer-consent.py clicks as a user would.
#include <gmock/gmock.h>

#include <atomic>
#include <boost/asio/co_spawn.hpp>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "RealTestLoop.h"
#include "delivery/TextDelivery.h"
#include "platform/Clipboard.h"
#include "platform/KeyInjector.h"
#include "platform/Platform.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/atspi/AtspiWorkspace.h"
#include "platform/linux/wayland/PortalChordRegistrar.h"
#include "platform/linux/wayland/WaylandDesktop.h"
#include "support/ManualClock.h"

using namespace wrenly;
using namespace std::chrono_literals;
using namespace wrenly::realtest;

namespace {

// The consent dialog's answer, clicked by a separate process while the paste waits for it; none
// where the desktop does not ask (KDE for keyboard only).
std::unique_ptr<ChildProcess> userAnswers(const std::string& answer) {
  const char* script = std::getenv("WRENLY_CONSENT_ANSWER");
  if (!script || !*script) return nullptr;
  return std::make_unique<ChildProcess>(std::vector<std::string>{"python3", script, answer});
}

class PortalDesktopTest : public ::testing::Test {
 protected:
  AtspiAccessibility accessibility{AtspiAccessibility::KeyAccess::available};
  std::unique_ptr<WaylandDesktop> desktop =
      WaylandDesktop::open(mainLoop.get_executor(), "wrenly", nullptr);
};

// One portal session: the clipboard set and read back, the editor brought in front by the first
// paste, then whole deliveries into its field (captured, then pasted).
TEST_F(PortalDesktopTest, DeliversIntoTheEditorInFrontOnceTheUserAllows) {
  ASSERT_TRUE(desktop && desktop->pastesThroughPortal() && desktop->clipboard());
  for (const std::string text : {"first", pasted.c_str()}) {
    ASSERT_TRUE(desktop->clipboard()->writeString(text));
    // Clients read it only from a seat with a keyboard, which GNOME's gets from a portal session.
    if (!std::getenv("WRENLY_CONSENT_ANSWER")) {
      EXPECT_EQ(output("wl-paste --no-newline"), text);
    }
  }
  // Neither compositor names other clients' windows: the accessibility bus does.
  AtspiWorkspace workspace(mainLoop.get_executor(), accessibility.homeThread(), "wrenly");
  AtspiWindowList windows(workspace);
  FrontChanges changes(workspace);
  ChildProcess editor({"mousepad", "--disable-server"});
  const int32_t pid = editor.pid();
  KeyInjector& keys = *desktop->keyInjector();
  ElementHandle field;
  auto focused = [&] { return (field = accessibility.focusedElement(pid, 300ms)) != nullptr; };
  // The first paste starts the portal session, which asks the user where the desktop does (and
  // gives a seat without keyboards one: only then can a window there have keyboard focus). When
  // the user had to answer, that text stays on the clipboard: the dialog had the keyboard.
  const auto user = userAnswers("share");
  if (!user) {
    ASSERT_TRUE(runUntil(focused));
  }
  ASSERT_EQ(keys.pasteKeyDown(pid), user == nullptr);
  keys.pasteKeyUp();
  ASSERT_TRUE(runUntil([&] {
    const auto front = workspace.frontmostApplication();
    return front && front->processID == pid;
  }));
  EXPECT_THAT(changes.activated, ::testing::Contains(pid));
  EXPECT_TRUE(windows.frontNormalWindow(pid));
  EXPECT_TRUE(workspace.runningApplication(pid));
  EXPECT_FALSE(workspace.activate(pid));
  ASSERT_TRUE(runUntil(focused));
  if (!user) {
    ASSERT_TRUE(landedAt(field, 0));
  }

  ManualClock clock;
  Platform ports;
  ports.mainLoop = mainLoop.get_executor();
  ports.clock = &clock;
  ports.workspace = &workspace;
  ports.accessibility = &accessibility;
  ports.windows = &windows;
  ports.clipboard = desktop->clipboard();
  ports.keyInjector = &keys;
  TextDelivery delivery(ports);
  for (int run = 0; run < 5; ++run) {
    SCOPED_TRACE(run);
    std::optional<InputTarget> target;
    ASSERT_TRUE(runUntil([&] {
      target = delivery.captureTarget();
      return target && target->processID == pid && target->focusedElement;
    }));
    const ElementHandle& captured = target->focusedElement;
    EXPECT_TRUE(captured->isSameElement(*field));
    const auto before = captured->selectedRange();
    ASSERT_TRUE(before);
    std::optional<DeliveryResult> result;
    boost::asio::co_spawn(mainLoop, delivery.insert(pasted, target, std::nullopt),
                          [&](std::exception_ptr, DeliveryResult outcome) { result = outcome; });
    ASSERT_TRUE(runUntil([&] {
      clock.advanceToNextTimer(1s);
      return result.has_value();
    }));
    EXPECT_EQ(*result, DeliveryResult::pasteSent);
    ASSERT_TRUE(landedAt(captured, before->location));
  }
}

TEST_F(PortalDesktopTest, RefusedConsentPastesNothing) {
  const auto user = userAnswers("refuse");
  if (!user) GTEST_SKIP() << "this desktop does not ask";
  ASSERT_TRUE(desktop && desktop->pastesThroughPortal());
  ChildProcess editor({"mousepad", "--disable-server"});
  EXPECT_FALSE(desktop->keyInjector()->pasteKeyDown(editor.pid()));
  // Refused for the rest of the program's session: no dialog again.
  EXPECT_FALSE(desktop->keyInjector()->pasteKeyDown(editor.pid()));
}

TEST_F(PortalDesktopTest, ChordArrivesAsGlobalShortcut) {
  if (std::getenv("WRENLY_CONSENT_ANSWER")) GTEST_SKIP() << "no global shortcuts on this desktop";
  auto chords = PortalChordRegistrar::open(nullptr);
  std::atomic<int> pressed = 0;
  std::atomic<int> released = 0;
  const TriggerChord chord{Key::r, ModifierState().hold(Key::alt).hold(Key::super)};
  Subscription bound = chords->registerChord(
      chord, [&] { ++pressed; }, [&] { ++released; });
  ASSERT_TRUE(bound);
  ChildProcess keyboard(
      {"python3", WRENLY_PORTAL_SCRIPTS "/press-keys.py", "Alt_L", "Super_L", "r"});
  EXPECT_TRUE(runUntil([&] { return pressed == 1 && released == 1; }));
}

}  // namespace
