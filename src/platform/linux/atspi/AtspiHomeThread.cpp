#include "platform/linux/atspi/AtspiHomeThread.h"

#include <atspi/atspi.h>

namespace wrenly {

namespace {

gboolean runJob(gpointer data) {
  (*static_cast<std::function<void()>*>(data))();
  return G_SOURCE_REMOVE;
}

void deleteJob(gpointer data) {
  delete static_cast<std::function<void()>*>(data);
}

}  // namespace

AtspiHomeThread::AtspiHomeThread() : context_(g_main_context_ref(g_main_context_default())) {
  loop_ = g_main_loop_new(context_, FALSE);
  std::promise<void> started;
  auto ready = started.get_future();
  thread_ = std::thread([this, &started] { run(started); });
  ready.wait();
}

AtspiHomeThread::~AtspiHomeThread() {
  g_main_loop_quit(loop_);
  g_main_context_wakeup(context_);
  // The last holder may let go on the home thread itself, which cannot wait for its own end.
  if (onHomeThread()) {
    thread_.detach();
    return;
  }
  thread_.join();
  g_main_loop_unref(loop_);
  g_main_context_unref(context_);
}

void AtspiHomeThread::run(std::promise<void>& started) {
  g_main_context_push_thread_default(context_);
  atspi_init();
  // Replies and events of the accessibility bus are dispatched here.
  atspi_set_main_context(context_);
  started.set_value();
  g_main_loop_run(loop_);
  // Work posted while quitting still runs: it may release objects.
  while (g_main_context_iteration(context_, FALSE)) {
  }
  atspi_exit();
  g_main_context_pop_thread_default(context_);
}

void AtspiHomeThread::post(std::function<void()> job) {
  g_main_context_invoke_full(context_, G_PRIORITY_DEFAULT, runJob,
                             new std::function<void()>(std::move(job)), deleteJob);
}

}  // namespace wrenly
