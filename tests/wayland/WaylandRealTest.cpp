// The Wayland adapters against headless sway (started by headless-sway.sh) and real editors in
// native Wayland windows, read back over the accessibility bus.
#include <gmock/gmock.h>
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "ChildProcess.h"
#include "RealTestLoop.h"
#include "platform/Clipboard.h"
#include "platform/KeyInjector.h"
#include "platform/WindowList.h"
#include "platform/Workspace.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/wayland/SwayBindingKeyMonitor.h"
#include "platform/linux/wayland/WaylandConnection.h"
#include "platform/linux/wayland/WaylandDesktop.h"
#include "support/ManualClock.h"
#include "support/TemporaryDirectory.h"
#include "support/desktop/FakeDesktop.h"
#include "triggerkey/TriggerKeyDetector.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

using namespace wrenly;
using namespace std::chrono_literals;
using namespace wrenly::realtest;

namespace {

// The test's own keyboard on the seat, with the whole keymap of the environment's layout, as a
// user's keyboard would be.
class TestKeyboard {
 public:
  TestKeyboard() : connection_(WaylandConnection::open()) {
    if (!connection_ || !connection_->keyboards() || !connection_->seat()) return;
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS);
    std::unique_ptr<char, decltype(&std::free)> text(
        xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1), &std::free);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    UniqueFd file(memfd_create("test-keymap", MFD_CLOEXEC));
    const size_t size = std::strlen(text.get()) + 1;
    if (::write(file.get(), text.get(), size) != static_cast<ssize_t>(size)) return;
    keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(connection_->keyboards(),
                                                                        connection_->seat());
    zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, file.get(),
                                   static_cast<uint32_t>(size));
    connection_->flush();
  }
  ~TestKeyboard() {
    if (keyboard_) zwp_virtual_keyboard_v1_destroy(keyboard_);
    if (connection_) connection_->flush();
  }
  explicit operator bool() const { return keyboard_ != nullptr; }

  // Presses the keys (evdev codes) in order and releases them in reverse. A virtual keyboard's
  // modifiers are only what it says: Shift is the keymap's first.
  void tap(std::vector<uint32_t> keys) {
    const bool shift = std::ranges::find(keys, KEY_LEFTSHIFT) != keys.end();
    if (shift) zwp_virtual_keyboard_v1_modifiers(keyboard_, 1, 0, 0, 0);
    for (uint32_t key : keys) zwp_virtual_keyboard_v1_key(keyboard_, 0, key, 1);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
      zwp_virtual_keyboard_v1_key(keyboard_, 0, *key, 0);  // up
    }
    if (shift) zwp_virtual_keyboard_v1_modifiers(keyboard_, 0, 0, 0, 0);
    connection_->flush();
  }

 private:
  std::unique_ptr<WaylandConnection> connection_;
  zwp_virtual_keyboard_v1* keyboard_ = nullptr;
};

struct Editor {
  std::string name;
  std::unique_ptr<ChildProcess> process;
};

class WaylandDesktopTest : public ::testing::Test {
 protected:
  // One desktop for the suite: its virtual keyboard is the headless seat's only keyboard,
  // without which no window has focus. A GTK 3, a GTK 4 and a Qt 5 editor, native Wayland
  // windows.
  static void SetUpTestSuite() {
    accessibility = std::make_unique<AtspiAccessibility>(AtspiAccessibility::KeyAccess::available);
    desktop = WaylandDesktop::open(mainLoop.get_executor(), "wrenly", nullptr);
    for (auto command : {std::vector<std::string>{"mousepad", "--disable-server"},
                         std::vector<std::string>{"gnome-text-editor", "--standalone"},
                         std::vector<std::string>{"featherpad", "--standalone"}}) {
      editors.push_back({command[0], std::make_unique<ChildProcess>(command)});
    }
  }
  static void TearDownTestSuite() {
    editors.clear();
    desktop.reset();
    accessibility.reset();
  }
  void SetUp() override {
    ASSERT_TRUE(desktop && desktop->clipboard() && desktop->keyInjector() && desktop->workspace() &&
                desktop->windows());
  }

  // The application in front, asked again until it is; with `field`, once its focused element
  // (an editor's text area) is found there too.
  bool bringForward(int32_t pid, ElementHandle* field = nullptr) {
    Workspace& workspace = *desktop->workspace();
    return runUntil([&] {
      auto front = workspace.activate(pid) ? workspace.frontmostApplication() : std::nullopt;
      return front && front->processID == pid &&
             (!field || (*field = accessibility->focusedElement(pid, 300ms)) != nullptr);
    });
  }

  static inline std::unique_ptr<WaylandDesktop> desktop;
  static inline std::vector<Editor> editors;
  static inline std::unique_ptr<AtspiAccessibility> accessibility;
};

TEST_F(WaylandDesktopTest, ClipboardIsSetWithoutFocusAndOtherProgramsReadIt) {
  for (const std::string text : {"first", "second", "third", "fourth", pasted.c_str()}) {
    ASSERT_TRUE(desktop->clipboard()->writeString(text));
    EXPECT_EQ(output("wl-paste --no-newline"), text);
  }
  // Another program takes the clipboard; a new write takes it back.
  ASSERT_EQ(std::system("wl-copy other"), 0);
  EXPECT_TRUE(runUntil([] { return output("wl-paste --no-newline") == "other"; }));
  EXPECT_TRUE(desktop->clipboard()->writeString(pasted));
  EXPECT_EQ(output("wl-paste --no-newline"), pasted);
}

// Each editor in turn brought forward (the front application follows), its field captured and
// pasted into.
TEST_F(WaylandDesktopTest, VirtualKeyboardPastesIntoNativeEditors) {
  TestKeyboard keyboard;
  ASSERT_TRUE(keyboard);
  ASSERT_TRUE(desktop->clipboard()->writeString(pasted));
  KeyInjector& keys = *desktop->keyInjector();
  Workspace& workspace = *desktop->workspace();
  FrontChanges front(workspace);
  int32_t previous = 0;
  for (const Editor& editor : editors) {
    SCOPED_TRACE(editor.name);
    // A change still on its way would be reported with the next: the one before is seen first.
    EXPECT_TRUE(
        runUntil([&] { return !previous || std::ranges::count(front.activated, previous); }));
    front.clear();
    ElementHandle field;
    ASSERT_TRUE(bringForward(editor.process->pid(), &field));
    if (previous) {
      EXPECT_TRUE(runUntil([&] { return !front.activated.empty() && !front.deactivated.empty(); }));
      EXPECT_EQ(front.activated, std::vector{editor.process->pid()});
      EXPECT_EQ(front.deactivated, std::vector{previous});
    }
    previous = editor.process->pid();
    auto again = accessibility->focusedElement(editor.process->pid(), 300ms);
    EXPECT_TRUE(again && field->isSameElement(*again));
    for (int run = 0; run < 5; ++run) {
      const auto before = field->selectedRange();
      ASSERT_TRUE(before);
      ASSERT_TRUE(keys.pasteKeyDown(editor.process->pid()));
      keys.pasteKeyUp();
      if (editor.name != "gnome-text-editor") {
        ASSERT_TRUE(landedAt(field, before->location));
        continue;
      }
      // GTK 4.8 collapses a selection set over the bus to its end: the keyboard selects there.
      const int64_t after = before->location + 5;
      ASSERT_TRUE(caretAt(field, after));
      for (int i = 0; i < 5; ++i) keyboard.tap({KEY_LEFTSHIFT, KEY_LEFT});
      EXPECT_TRUE(runUntil([&] { return field->selectedText() == pasted; }));
      keyboard.tap({KEY_RIGHT});
      ASSERT_TRUE(runUntil([&] { return field->selectedRange() == TextRange{after, 0}; }));
    }
  }
  const int32_t first = editors.front().process->pid();
  EXPECT_EQ(workspace.runningApplication(first)->applicationID, "mousepad");  // its app_id
  EXPECT_FALSE(workspace.runningApplication(999999));
  WindowList& windows = *desktop->windows();
  ASSERT_TRUE(windows.frontNormalWindow(first));
  EXPECT_NE(windows.frontNormalWindow(first), windows.frontNormalWindow(previous));
  EXPECT_FALSE(windows.frontNormalWindow(999999));
  EXPECT_FALSE(workspace.activate(999999));
}

TEST_F(WaylandDesktopTest, TerminalsGetCtrlShiftV) {
  // A native terminal whose shell writes what it receives to a file at once: Ctrl+V would
  // arrive as a control character instead of the text.
  TemporaryDirectory folder;
  const auto received = folder / "received";
  ChildProcess terminal({"foot", "sh", "-c", "stty -icanon; exec cat > " + received.string()});
  const int32_t pid = terminal.pid();
  ASSERT_TRUE(bringForward(pid));
  ASSERT_TRUE(desktop->clipboard()->writeString(pasted));
  ASSERT_TRUE(desktop->keyInjector()->pasteKeyDown(pid));
  desktop->keyInjector()->pasteKeyUp();
  std::string text;
  EXPECT_TRUE(runUntil([&] {
    std::ifstream file(received);
    text.assign(std::istreambuf_iterator<char>(file), {});
    return text == pasted;
  })) << text;
}

TEST(SwayBindingKeys, LoneModifierTapsReachTheDetectorAndTheBindingsGoWithTheMonitor) {
  TestKeyboard keyboard;
  ASSERT_TRUE(keyboard);
  ManualClock clock;
  FakeDesktop fake(mainLoop.get_executor(), clock);
  // The fake stands for the X server's monitor, which keeps the keys of XWayland windows.
  auto monitor = SwayBindingKeyMonitor::open(mainLoop.get_executor(), std::getenv("SWAYSOCK"),
                                             &fake.keyMonitor);
  ASSERT_TRUE(monitor);
  Platform platform = fake.platform();
  platform.keyMonitor = monitor.get();
  std::vector<TriggerKey> detected;
  TriggerKeyDetector detector(platform, [&](TriggerKey key) { detected.push_back(key); });
  ASSERT_TRUE(detector.install(TriggerKey::rightAlt));
  // sway's events come in order: once the right Control after them is seen, so is any from the
  // right Alt with x.
  const ModifierState leftAlt = ModifierState().hold(Key::alt, KeySide::left);
  for (const ModifierState& held : {leftAlt, ModifierState()}) {
    fake.keyMonitor.send(KeyMonitor::Scope::local,
                         {KeyEventType::modifierChanged, Key::alt, KeySide::left, held});
  }
  keyboard.tap({KEY_RIGHTALT});
  keyboard.tap({KEY_RIGHTALT, KEY_X});
  keyboard.tap({KEY_RIGHTCTRL});
  ASSERT_TRUE(
      runUntil([&] { return !detected.empty() && detected.back() == TriggerKey::rightControl; }));
  EXPECT_EQ(detected, (std::vector<TriggerKey>{TriggerKey::leftAlt, TriggerKey::rightAlt,
                                               TriggerKey::rightControl}));
  detector.uninstall();
  monitor.reset();
  // sway refuses to remove a binding it does not have.
  for (int code : {64, 108, 37, 105, 50, 62, 133, 134}) {
    EXPECT_NE(
        std::system(("swaymsg -q 'unbindcode --release " + std::to_string(code) + "'").c_str()), 0)
        << code;
  }
}

}  // namespace
