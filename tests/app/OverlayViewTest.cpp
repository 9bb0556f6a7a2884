#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <string>
#include <thread>

#include "ViewTesting.h"
#include "app/LevelBars.h"
#include "app/MeterGeometry.h"
#include "app/OverlayPanel.h"
#include "app/QtClipboard.h"
#include "messages/Messages.h"
#include "messages/ShellMessages.h"

using namespace wrenly;

namespace {

namespace T = ShellMessages;

TEST(OverlayView, PhaseDecidesTitleGuidanceAndRightHandElement) {
  testApplication();
  struct Case {
    DictationPhase phase;
    bool editing;
    const char* title;
    std::string guidance;
    bool waveform, spinner;
  };
  const std::string stop = T::overlayStopPrefix + std::string("右 Alt") + T::overlayStopSuffix;
  const std::string edit = T::overlayEditPrefix + std::string("右 Alt") + T::overlayStopSuffix;
  const char* notice = Messages::copiedNotice;
  OverlayPanel panel;
  for (const Case& c : {
           Case{DictationPhase::recording, false, T::overlayRecording, stop, true, false},
           Case{DictationPhase::recording, true, T::overlayRecording, edit, true, false},
           Case{DictationPhase::processing, false, T::overlayProcessing, T::overlayWait, false,
                true},
           Case{DictationPhase::starting, false, T::overlayStarting, T::overlayWait, false, true},
           Case{DictationPhase::idle, false, T::overlayIdle, notice, false, false},
       }) {
    ShellSnapshot s;
    s.voice.phase = c.phase;
    s.voice.isEditingSelection = c.editing;
    s.voice.triggerKeyTitle = "右 Alt";
    s.voice.overlayNotice = notice;
    panel.render(s);
    const OverlayContent& view = panel.view();
    EXPECT_EQ(view.title().toStdString(), c.title);
    EXPECT_EQ(view.guidance().toStdString(), c.guidance);
    EXPECT_EQ(view.waveform().isVisibleTo(&view), c.waveform) << c.title;
    EXPECT_EQ(view.spinnerShown(), c.spinner) << c.title;
  }
}

TEST(OverlayView, WhileRecordingTheWordsSoFarTakeTheGuidanceLineNewestInView) {
  testApplication();
  OverlayPanel panel;
  ShellSnapshot s;
  s.voice.phase = DictationPhase::recording;
  s.voice.interimText = std::string(60, 'o') + " go\nforward";
  panel.render(s);
  const QString words = panel.view().words();
  EXPECT_TRUE(words.startsWith(u'…') && words.endsWith(u" go forward")) << words.toStdString();
  s.voice.phase = DictationPhase::processing;
  panel.render(s);
  EXPECT_EQ(panel.view().words(), "");
}

TEST(OverlayView, WaveformBarHeights) {
  struct Case {
    float level;
    double middle, outer;
  };
  for (const Case& c : {Case{0, 3, 3}, Case{-1, 3, 3}, Case{1, 32, 13.15}, Case{7, 32, 13.15}}) {
    const auto heights = overlayWaveformBarHeights(c.level);
    EXPECT_DOUBLE_EQ(heights[5], c.middle) << c.level;
    EXPECT_NEAR(heights[0], c.outer, 1e-9) << c.level;
    EXPECT_NEAR(heights[10], c.outer, 1e-9) << c.level;
  }
  testApplication();
  OverlayPanel panel;
  ShellSnapshot s;
  s.voice.phase = DictationPhase::recording;
  s.voice.level = 1;
  panel.render(s);
  EXPECT_DOUBLE_EQ(panel.view().waveform().heights()[5], 32);
  EXPECT_EQ(panel.size(), QSize(246, 64));
  EXPECT_TRUE(panel.windowFlags().testFlag(Qt::WindowTransparentForInput));
  EXPECT_TRUE(panel.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
}

TEST(QtClipboard, WriteFromAnotherThreadWaitsForTheGuiThread) {
  QApplication& app = testApplication();
  QtClipboard clipboard(&app);
  bool written = false;
  bool finished = false;
  std::thread loop([&] {
    written = clipboard.writeString("這是測試 ✓");
    QMetaObject::invokeMethod(
        &app, [&] { finished = true; }, Qt::QueuedConnection);
  });
  while (!finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  loop.join();
  EXPECT_TRUE(written);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "這是測試 ✓");
}

}  // namespace
