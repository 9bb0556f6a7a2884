// A lone tap of the right Alt key, the default trigger key, in the editors and the browser a user
// has (KDE Frameworks 5, Qt 6, GTK 4, Chromium): with the detector installed it leaves the
// keyboard focus in the text field and opens no menu, and the field is what a capture finds and
// a paste fills. FeatherPad and Firefox ESR take whole dictations in e2e_featherpad and
// e2e_firefox. GoogleTest before Xlib, whose macros (None, Bool) clash with its names.
#include <gmock/gmock.h>

#include <X11/keysym.h>
#include <signal.h>

#include <boost/asio/co_spawn.hpp>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "DesktopSession.h"
#include "delivery/TextDelivery.h"
#include "platform/Clipboard.h"
#include "triggerkey/TriggerKeyDetector.h"

using namespace wrenly;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using realtest::caretAt;
using realtest::runUntil;

namespace {

// The clipboard, owned by the fields window for the test.
struct HelperClipboard final : Clipboard {
  bool writeString(const std::string& text) override {
    return DesktopSession::shared().fields->exchange("clip " + text) == "ok";
  }
};

struct Application {
  std::string name;
  // The command line, given a scratch folder for its files.
  std::function<std::vector<std::string>(const fs::path&)> command;
  // GTK 4.8 collapses a selection set over the bus to its end (and never answers one added):
  // the test selects with the keyboard there.
  bool selectsOverBus = true;
};

void PrintTo(const Application& application, std::ostream* out) {
  *out << application.name;
}

// Output goes nowhere: a chatty toolkit must not fill the test's pipe and stall.
std::vector<std::string> quiet(const std::string& command) {
  return {"/bin/sh", "-c", "exec " + command + " >/dev/null 2>&1"};
}

fs::path scratch(const std::string& name) {
  auto folder = fs::path(std::getenv("HOME")) / name;
  fs::create_directories(folder);
  return folder;
}

std::vector<std::string> editor(const std::string& program, const fs::path& folder) {
  const auto file = folder / "notes.txt";
  std::ofstream(file).close();
  return quiet(program + " " + file.string());
}

// Chromium as a user starts it: nothing turns its accessibility on. As root it needs no sandbox,
// and its own password store keeps the keyring's prompt off the desktop. The row's name tells
// the page which field to focus.
std::vector<std::string> chromium(const fs::path& folder) {
  const auto page = fs::path(WRENLY_FIELDS_WINDOW).parent_path() / "fields_page.html";
  return quiet(
      "env -u GNOME_ACCESSIBILITY chromium --no-sandbox --password-store=basic "
      "--user-data-dir=" +
      folder.string() + " file://" + page.string() + "#" + folder.filename().string());
}

class AltTap : public ::testing::TestWithParam<Application> {
 protected:
  static void SetUpTestSuite() {
    // Toolkits expose their widgets on the accessibility bus only when told to.
    setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
    setenv("GNOME_ACCESSIBILITY", "1", 1);
  }
  // The application is asked to expose its fields first, as a start does.
  ElementHandle focused(int32_t processID) {
    desktop.accessibility->prepareApplication(processID, 300ms);
    return desktop.accessibility->focusedElement(processID, 300ms);
  }
  static bool isTextField(const ElementHandle& element) {
    if (!element) return false;
    const auto role = element->role();
    return role == "text" || role == "entry";
  }

  DesktopSession& desktop = DesktopSession::shared();
  HelperClipboard clipboard;
  Platform platform = desktop.platform(&clipboard);
  TextDelivery insertion{platform};
};

TEST_P(AltTap, LeavesTheFocusInTheFieldThatThenReceivesTheText) {
  const Application& application = GetParam();
  ChildProcess running(application.command(scratch(application.name)));
  const int32_t pid = running.pid();
  // Ended before ChildProcess reaps it: an editor with unsaved text answers SIGTERM with a
  // question.
  const std::unique_ptr<const int32_t, void (*)(const int32_t*)> killed(
      &pid, [](const int32_t* process) { kill(*process, SIGKILL); });
  ASSERT_TRUE(
      runUntil([&] { return desktop.desktop->windows().frontNormalWindow(pid).has_value(); }, 60s))
      << application.name << " opened no window";
  ASSERT_TRUE(desktop.bringForward(pid));
  // A browser shows its field before its caret can be read: both are waited for.
  ElementHandle field;
  decltype(field->selectedRange()) origin;
  ASSERT_TRUE(runUntil(
      [&] { return isTextField(field = focused(pid)) && (origin = field->selectedRange()); }, 30s))
      << "no text field with a caret has focus in " << application.name;

  // A letter before the tap leaves the caret where an arrow key can move it back. A browser
  // that just opened its page may drop the first keys.
  bool typed = false;
  for (int attempt = 0; attempt < 5 && !typed; ++attempt) {
    desktop.tap(XK_q);
    typed = runUntil([&] {
      auto now = field->selectedRange();
      return now && now->location > origin->location;
    });
  }
  ASSERT_TRUE(typed) << "the letter did not reach the field";
  const auto start = field->selectedRange();
  ASSERT_TRUE(start);

  std::vector<TriggerKey> taps;
  std::vector<TriggerPress> presses;
  TriggerKeyDetector detector(
      platform, [&](TriggerKey key) { taps.push_back(key); },
      [&](TriggerPress press) { presses.push_back(press); });
  // A bus slow at start may have left the question whether accessibility is on unanswered:
  // asked again, as the program does when the user asks for the permission.
  ASSERT_TRUE(runUntil([&] {
    if (detector.install(TriggerKey::rightAlt)) return true;
    desktop.accessibility->requestTrust();
    return false;
  }));
  // The user's finger stays on the key longer than the detector takes to answer.
  desktop.key(XK_Alt_R, true);
  ASSERT_TRUE(runUntil([&] { return !presses.empty(); }));
  desktop.key(XK_Alt_R, false);
  ASSERT_TRUE(runUntil([&] { return !taps.empty(); }));
  EXPECT_EQ(presses, (std::vector{TriggerPress::began, TriggerPress::released}));

  // Arrow keys after the tap move the caret: no menu bar took them (there they move between
  // menus). Left then Right, so the caret ends where the text goes.
  for (auto [arrow, at] : {std::pair{XK_Left, -1}, std::pair{XK_Right, 0}}) {
    desktop.tap(arrow);
    ASSERT_TRUE(caretAt(field, start->location + at))
        << "an arrow key did not reach the field; focus on "
        << (focused(pid) ? focused(pid)->role().value_or("?") : "nothing");
  }
  EXPECT_TRUE(focused(pid)->isSameElement(*field));

  // The capture as a start makes it.
  const auto target = insertion.captureTarget();
  ASSERT_TRUE(target && target->focusedElement);
  EXPECT_TRUE(target->focusedElement->isSameElement(*field));
  auto delivered = insertion.insert(realtest::pasted, target, std::nullopt);
  DeliveryResult result{};
  bool done = false;
  asio::co_spawn(desktop.mainLoop, std::move(delivered), [&](std::exception_ptr, DeliveryResult r) {
    result = r;
    done = true;
  });
  ASSERT_TRUE(runUntil([&] { return done; }));
  EXPECT_EQ(result, DeliveryResult::pasteSent);
  if (application.selectsOverBus) {
    EXPECT_TRUE(realtest::landedAt(field, start->location));
    return;
  }
  ASSERT_TRUE(caretAt(field, start->location + 5));
  desktop.key(XK_Shift_L, true);
  for (int i = 0; i < 5; ++i) desktop.tap(XK_Left);
  desktop.key(XK_Shift_L, false);
  EXPECT_TRUE(runUntil([&] { return field->selectedText() == realtest::pasted; }))
      << field->selectedText().value_or("?");
}

INSTANTIATE_TEST_SUITE_P(
    Toolkits, AltTap,
    testing::Values(
        Application{"KWrite", [](const fs::path& folder) { return editor("kwrite", folder); }},
        Application{"ChromiumTextarea", chromium}, Application{"ChromiumInput", chromium},
        Application{"Qt6", [](const fs::path& folder) { return editor(WRENLY_QT_WINDOW, folder); }},
        Application{
            "TextEditorGtk4",
            [](const fs::path& folder) { return editor("gnome-text-editor --standalone", folder); },
            false}),
    [](const auto& row) { return row.param.name; });

}  // namespace
