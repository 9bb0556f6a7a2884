#pragma once

namespace wrenly {

class Workspace;
class Accessibility;
class WindowList;
class KeyInjector;
class KeyMonitor;
class ChordRegistrar;
class Clipboard;
class Overlay;

// The ports of the desktop session (windows, accessibility, keys), made by the display server's
// adapter. Borrowed: whoever makes them keeps them alive as long as the platform they join.
struct DesktopPorts {
  Workspace* workspace = nullptr;
  Accessibility* accessibility = nullptr;
  WindowList* windows = nullptr;
  KeyInjector* keyInjector = nullptr;
  KeyMonitor* keyMonitor = nullptr;
  ChordRegistrar* chords = nullptr;
};

// The ports that live on the GUI thread, made by the shell. Borrowed like DesktopPorts.
struct GuiPorts {
  Clipboard* clipboard = nullptr;
  Overlay* overlay = nullptr;
};

}  // namespace wrenly
