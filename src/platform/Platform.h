#pragma once

#include "platform/Asio.h"

namespace wrenly {

class Clock;
class Settings;
class WordStore;
class SecretStore;
class Workspace;
class Accessibility;
class WindowList;
class Clipboard;
class KeyInjector;
class KeyMonitor;
class ChordRegistrar;
class AudioInput;
class BrowserSession;
class Overlay;
class HistoryStore;

// Everything the core borrows from the desktop it runs on. The adapters are owned elsewhere (the
// Linux platform in the app, the fakes in tests) and outlive every user of this object. A port a
// piece of the program does not need may be left null in tests.
struct Platform {
  asio::any_io_executor mainLoop;    // the controller's single thread
  asio::any_io_executor background;  // the shared pool for blocking calls
  Clock* clock = nullptr;
  Settings* settings = nullptr;
  WordStore* words = nullptr;  // the user's own words; none: the program keeps no list
  SecretStore* secrets = nullptr;
  Workspace* workspace = nullptr;
  Accessibility* accessibility = nullptr;
  WindowList* windows = nullptr;
  Clipboard* clipboard = nullptr;
  KeyInjector* keyInjector = nullptr;
  KeyMonitor* keyMonitor = nullptr;
  ChordRegistrar* chords = nullptr;
  AudioInput* audioInput = nullptr;
  BrowserSession* browser = nullptr;
  Overlay* overlay = nullptr;
  HistoryStore* history = nullptr;  // none: the history lives in memory only
};

}  // namespace wrenly
