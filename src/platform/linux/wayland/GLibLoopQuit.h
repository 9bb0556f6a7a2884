#pragma once

#include <glib.h>

namespace wrenly {

// Ends a loop that another thread runs (or is about to run) on `context`. g_main_loop_quit from
// here would be lost if that thread has not yet entered g_main_loop_run, which then never returns:
// the quit is queued on the loop's own context instead, so it runs inside the loop.
inline void quitLoopOfAnotherThread(GMainContext* context, GMainLoop* loop) {
  GSource* source = g_idle_source_new();
  g_source_set_callback(
      source,
      [](gpointer data) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(data));
        return G_SOURCE_REMOVE;
      },
      loop, nullptr);
  g_source_attach(source, context);
  g_source_unref(source);
}

}  // namespace wrenly
