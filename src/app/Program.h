#pragma once

class QApplication;

namespace wrenly {

enum class LaunchRequest;

// The desktop program from launch to exit: one instance per session, the checks that the session
// offers what the program needs, the platform and the core on the controller's loop thread,
// and the window, tray and overlay on the GUI thread. Returns the exit status.
// `request` is what this launch asks, of the instance already running if there is one.
int runProgram(QApplication& app, LaunchRequest request);

}  // namespace wrenly
