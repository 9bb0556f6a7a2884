// The overlay as a layer-shell surface on headless sway (started by headless-sway.sh), over a
// native editor in fullscreen: where it shows, what it takes and where a click on it goes.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <QApplication>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <tuple>

#include "ChildProcess.h"
#include "RealTestLoop.h"
#include "app/LayerShellOverlay.h"
#include "app/OverlayPanel.h"
#include "platform/Workspace.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/wayland/WaylandDesktop.h"
#include "support/TemporaryDirectory.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

using namespace wrenly;
using realtest::mainLoop;

namespace {

bool runUntil(const std::function<bool()>& done) {
  return realtest::runUntil(done, std::chrono::seconds(10),
                            [] { QCoreApplication::processEvents(); });
}

// Whether the screen is dark at a point, as grim reads it from the compositor (a one-pixel PPM
// ends with its red, green and blue).
bool dark(int x, int y) {
  const std::string image = realtest::output("grim -t ppm -g '" + std::to_string(x) + "," +
                                             std::to_string(y) + " 1x1' -");
  return image.size() > 3 && static_cast<unsigned char>(image[image.size() - 3]) < 64;
}

// A pointer of the test's own on the headless seat, which has none. Made before the windows, so
// that they have seen the seat gain a pointer by the time it clicks.
class TestPointer {
 public:
  TestPointer() : display_(wl_display_connect(nullptr)) {
    static const wl_registry_listener listener{
        .global =
            [](void* self, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
              if (std::string(interface) != zwlr_virtual_pointer_manager_v1_interface.name) return;
              static_cast<TestPointer*>(self)->manager_ =
                  static_cast<zwlr_virtual_pointer_manager_v1*>(wl_registry_bind(
                      registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
            },
        .global_remove = [](void*, wl_registry*, uint32_t) {}};
    wl_registry_add_listener(wl_display_get_registry(display_), &listener, this);
    wl_display_roundtrip(display_);
    pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager_, nullptr);
    wl_display_roundtrip(display_);
  }
  ~TestPointer() { wl_display_disconnect(display_); }

  // A left click at a point of the 1280 × 800 output.
  void click(uint32_t x, uint32_t y) {
    zwlr_virtual_pointer_v1_motion_absolute(pointer_, 0, x, y, 1280, 800);
    zwlr_virtual_pointer_v1_frame(pointer_);
    for (auto state : {WL_POINTER_BUTTON_STATE_PRESSED, WL_POINTER_BUTTON_STATE_RELEASED}) {
      zwlr_virtual_pointer_v1_button(pointer_, 0, BTN_LEFT, state);
      zwlr_virtual_pointer_v1_frame(pointer_);
    }
    wl_display_roundtrip(display_);
  }

 private:
  wl_display* display_;
  zwlr_virtual_pointer_manager_v1* manager_ = nullptr;
  zwlr_virtual_pointer_v1* pointer_ = nullptr;
};

TEST(LayerShellOverlay, ShowsAtBottomCentreAboveFullscreenWithoutFocusAndLetsClicksThrough) {
  int argc = 1;
  char* argv[] = {const_cast<char*>("wayland_overlay_real_tests"), nullptr};
  qputenv("QT_NO_GLIB", "1");
  QApplication app(argc, argv);
  // The desktop's virtual keyboard is the seat's only one: without it no window has focus.
  auto desktop = WaylandDesktop::open(mainLoop.get_executor(), "wrenly", nullptr);
  ASSERT_TRUE(desktop && desktop->workspace());
  TestPointer pointer;
  AtspiAccessibility accessibility(AtspiAccessibility::KeyAccess::available);
  TemporaryDirectory folder;
  std::ofstream(folder / "long.txt") << std::string(80, '\n');
  ChildProcess editor({"mousepad", "--disable-server", (folder / "long.txt").string()});
  ElementHandle field;
  ASSERT_TRUE(runUntil([&] {
    return desktop->workspace()->activate(editor.pid()) &&
           (field = accessibility.focusedElement(editor.pid(), std::chrono::milliseconds(300)));
  }));
  const std::string window = "[pid=" + std::to_string(editor.pid()) + "]";
  ASSERT_EQ(std::system(("swaymsg -q '" + window + " fullscreen enable'").c_str()), 0);
  auto caret = [&] { return field->selectedRange().value_or(TextRange{-1, 0}).location; };
  int64_t before = -1;
  ASSERT_TRUE(runUntil([&] { return (before = caret()) >= 0; }));

  OverlayPanel panel;
  auto overlay = LayerShellOverlay::open(panel);
  ASSERT_TRUE(overlay);
  overlay->show({});
  // The panel's dark background over the editor's white, 246 × 64 at 16 above the bottom: dark
  // just inside each edge (through the middle), light one pixel beyond it.
  const int left = (1280 - 246) / 2, top = 800 - 16 - 64, middle = top + 32, centre = 640;
  EXPECT_TRUE(runUntil([&] { return dark(centre, middle); }));
  for (auto [x, y, dx, dy] : {std::tuple{left, middle, -1, 0},
                              {left + 245, middle, 1, 0},
                              {centre, top, 0, -1},
                              {centre, top + 63, 0, 1}}) {
    EXPECT_TRUE(dark(x, y) && !dark(x + dx, y + dy)) << x << "," << y;
  }
  EXPECT_EQ(desktop->workspace()->frontmostApplication()->processID, editor.pid());

  pointer.click(centre, middle);
  EXPECT_TRUE(runUntil([&] { return caret() != before && caret() >= 0; }));
}

}  // namespace
