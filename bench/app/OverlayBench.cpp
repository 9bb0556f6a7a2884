// What one level change of the overlay costs to draw: into the shared memory of a layer-shell
// surface (the panel rendered into an image of its size, as LayerShellOverlay does) and, for
// comparison, into the backing store of the panel's own window (the X11 path, less the copy to
// the X server). Run with QT_QPA_PLATFORM=offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include "app/OverlayPanel.h"

using namespace wrenly;

namespace {

QApplication& application() {
  static int argc = 1;
  static char name[] = "overlay_bench";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

ShellSnapshot recordingAt(float level) {
  ShellSnapshot snapshot;
  snapshot.voice.phase = DictationPhase::recording;
  snapshot.voice.level = level;
  return snapshot;
}

void BM_LevelIntoSharedMemory(benchmark::State& state) {
  application();
  OverlayPanel panel;
  QImage frame(panel.size(), QImage::Format_ARGB32_Premultiplied);
  int step = 0;
  for (auto _ : state) {
    panel.render(recordingAt(static_cast<float>(++step % 2) * 0.8f));
    frame.fill(Qt::transparent);
    panel.QWidget::render(&frame, QPoint(), QRegion(), QWidget::DrawChildren);
    benchmark::DoNotOptimize(frame.constBits());
  }
}
BENCHMARK(BM_LevelIntoSharedMemory);

void BM_LevelIntoWindow(benchmark::State& state) {
  application();
  OverlayPanel panel;
  panel.show();
  int step = 0;
  for (auto _ : state) {
    panel.render(recordingAt(static_cast<float>(++step % 2) * 0.8f));
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_LevelIntoWindow);

}  // namespace
