#pragma once

class QApplication;

namespace wrenly {

// The desktop program from launch to exit: one instance per session, the checks that the session
// offers what the program needs, the platform and the core on the controller's loop thread,
// and the window, tray and overlay on the GUI thread. Returns the exit status.
int runProgram(QApplication& app);

}  // namespace wrenly
