// The real desktop adapters in the private desktop of scripts/headless-desktop.sh, against
// mousepad: what capturing the focused field costs the main loop, and how soon a pasted text
// can be read back through the accessibility bus after the paste key comes up.

#include <benchmark/benchmark.h>

#include <chrono>

#include "DesktopSession.h"

using namespace wrenly;
using namespace std::chrono_literals;

namespace {

DesktopSession& session() {
  return DesktopSession::shared();
}

// The editor in front, its text area focused.
ElementHandle editorField(DesktopSession& desktop) {
  ElementHandle element;
  desktop.bringForward(desktop.editorPID());
  realtest::runUntil([&] {
    element = desktop.accessibility->focusedElement(desktop.editorPID(), 300ms);
    return element != nullptr;
  });
  return element;
}

// What a capture asks the desktop: the focused element, whether it is a password field, its
// selection, and the front window.
void BM_CaptureFocusedElement(benchmark::State& state) {
  auto& desktop = session();
  if (!editorField(desktop)) return state.SkipWithError("no focused field in the editor");
  auto& accessibility = *desktop.accessibility;
  for (auto _ : state) {
    auto element = accessibility.focusedElement(desktop.editorPID(), 300ms);
    benchmark::DoNotOptimize(element->isSecure());
    benchmark::DoNotOptimize(element->selectedRange());
    benchmark::DoNotOptimize(desktop.desktop->windows().frontNormalWindow(desktop.editorPID()));
  }
}
BENCHMARK(BM_CaptureFocusedElement)->Unit(benchmark::kMillisecond)->Repetitions(5);

// From the paste key's release to the caret standing after the pasted text.
void BM_PasteKeyUpToVisibleText(benchmark::State& state) {
  auto& desktop = session();
  desktop.fields->exchange("clip 這是測試。");
  auto element = editorField(desktop);
  if (!element) return state.SkipWithError("no focused field in the editor");
  auto& keys = desktop.desktop->keyInjector();
  for (auto _ : state) {
    const auto before = element->selectedRange();
    keys.pasteKeyDown(desktop.editorPID());
    keys.pasteKeyUp();
    const auto keyUp = std::chrono::steady_clock::now();
    // Polled without pause: the answer comes from the accessibility thread, not the loop.
    bool visible = false;
    while (!visible && std::chrono::steady_clock::now() - keyUp < 2s) {
      auto now = element->selectedRange();
      visible = now && before && now->location == before->location + 5;
      desktop.mainLoop.poll();
    }
    if (!visible) return state.SkipWithError("the paste did not arrive");
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - keyUp).count());
  }
}
BENCHMARK(BM_PasteKeyUpToVisibleText)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40)
    ->Repetitions(5);

}  // namespace
