// The overlay on a real X server with a window manager (started by with-x11-desktop.sh): it must
// leave the focused field of another program alone and let clicks through to it. The desktop is
// read and clicked through xdotool and xwininfo, as a user's tools would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QThread>
#include <cstdlib>

#include "app/OverlayPanel.h"
#include "desktop/RealTestLoop.h"

using namespace wrenly;
using realtest::output;

namespace {

std::string fieldLog() {
  const char* path = std::getenv("WRENLY_TEST_FIELD_LOG");
  return output(std::string("cat ") + (path ? path : "/dev/null"));
}

// Keeps the GUI running until `done` holds or five seconds pass.
bool runUntil(const std::function<bool()>& done) {
  return realtest::runUntil(done, std::chrono::seconds(5), [] {
    QCoreApplication::processEvents();
    QThread::msleep(10);
  });
}

TEST(OverlayOnDesktop, LeavesTheFocusedFieldAloneAndLetsClicksThrough) {
  int argc = 1;
  char name[] = "overlay_real_tests";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  ASSERT_NE(fieldLog().find("ready"), std::string::npos);

  const std::string activeBefore = output("xdotool getactivewindow");
  const std::string focusBefore = output("xdotool getwindowfocus -f");
  ASSERT_FALSE(activeBefore.empty());

  OverlayPanel panel;
  ShellSnapshot recording;
  recording.voice.phase = DictationPhase::recording;
  recording.voice.level = 0.5f;
  panel.render(recording);
  panel.showAtBottomCentre();
  const std::string mapState = "xwininfo -id " + std::to_string(panel.winId());
  ASSERT_TRUE(runUntil([&] { return output(mapState).find("IsViewable") != std::string::npos; }));
  const QRect area = app.primaryScreen()->availableGeometry();
  const QRect frame = panel.geometry();
  EXPECT_EQ(frame.size(), QSize(246, 64));
  EXPECT_EQ(frame.center().x(), area.center().x());
  EXPECT_EQ(frame.bottom() + 1, area.bottom() + 1 - 16);

  // A click in the middle of the panel lands in the window beneath it.
  const std::string at =
      std::to_string(frame.center().x()) + " " + std::to_string(frame.center().y());
  ASSERT_EQ(std::system(("xdotool mousemove " + at + " click 1").c_str()), 0);
  EXPECT_TRUE(runUntil([&] { return fieldLog().find("press " + at) != std::string::npos; }))
      << fieldLog();
  // The click went through the window manager and the GTK program after the panel was mapped,
  // so any reaction of theirs to the new window has happened by now.
  EXPECT_EQ(output("xdotool getactivewindow"), activeBefore);
  EXPECT_EQ(output("xdotool getwindowfocus -f"), focusBefore);
  EXPECT_EQ(fieldLog().find("focus-out"), std::string::npos);
  EXPECT_FALSE(panel.isActiveWindow());
}

}  // namespace
