// The overlay on a real X server with a window manager (started by with-x11-desktop.sh): it must
// leave the focused field of another program alone and let clicks through to it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QThread>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "XProbe.h"
#include "app/OverlayPanel.h"

using namespace wrenly;

namespace {

std::string fieldLog() {
  const char* path = std::getenv("WRENLY_TEST_FIELD_LOG");
  std::ifstream in(path ? path : "");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Keeps the GUI running until `done` holds or five seconds pass.
template <typename Done>
bool runUntil(Done done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    QCoreApplication::processEvents();
    QThread::msleep(10);
  }
  return true;
}

TEST(OverlayOnDesktop, LeavesTheFocusedFieldAloneAndLetsClicksThrough) {
  int argc = 1;
  char name[] = "overlay_real_tests";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  const std::unique_ptr<XProbe> x = XProbe::open();
  ASSERT_TRUE(x);
  ASSERT_NE(fieldLog().find("ready"), std::string::npos);

  const std::uint64_t activeBefore = x->activeWindow();
  const std::uint64_t focusBefore = x->inputFocus();
  ASSERT_NE(activeBefore, 0u);

  OverlayPanel panel;
  ShellSnapshot recording;
  recording.voice.phase = DictationPhase::recording;
  recording.voice.level = 0.5f;
  panel.render(recording);
  panel.showAtBottomCentre();
  ASSERT_TRUE(runUntil([&] { return x->isViewable(panel.winId()); }));
  const QRect area = app.primaryScreen()->availableGeometry();
  const QRect frame = panel.geometry();
  EXPECT_EQ(frame.size(), QSize(246, 64));
  EXPECT_EQ(frame.center().x(), area.center().x());
  EXPECT_EQ(frame.bottom() + 1, area.bottom() + 1 - 16);

  // A click in the middle of the panel lands in the window beneath it.
  const QPoint centre = frame.center();
  x->click(centre.x(), centre.y());
  const std::string press =
      "press " + std::to_string(centre.x()) + " " + std::to_string(centre.y());
  EXPECT_TRUE(runUntil([&] { return fieldLog().find(press) != std::string::npos; })) << fieldLog();
  // The click went through the window manager and the GTK program after the panel was mapped,
  // so any reaction of theirs to the new window has happened by now.
  EXPECT_EQ(x->activeWindow(), activeBefore);
  EXPECT_EQ(x->inputFocus(), focusBefore);
  EXPECT_EQ(fieldLog().find("focus-out"), std::string::npos);
  EXPECT_FALSE(panel.isActiveWindow());
}

}  // namespace
