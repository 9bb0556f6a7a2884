#pragma once

#include <strings.h>

#include <array>
#include <string>

namespace wrenly {

// Whether a window class (X11) or app id (Wayland) is a terminal's, which pastes with
// Ctrl+Shift+V (Ctrl+V is a control character there); for those that do not say so through
// their accessible role.
inline bool isTerminalClass(const std::string& name) {
  constexpr std::array terminalClasses{"XTerm",
                                       "UXTerm",
                                       "URxvt",
                                       "Gnome-terminal",
                                       "org.gnome.Terminal",
                                       "org.gnome.Console",
                                       "konsole",
                                       "org.kde.konsole",
                                       "Xfce4-terminal",
                                       "kitty",
                                       "Alacritty",
                                       "Tilix",
                                       "com.gexperts.Tilix",
                                       "Terminator",
                                       "foot",
                                       "footclient",
                                       "st-256color",
                                       "Lxterminal",
                                       "qterminal",
                                       "Mate-terminal",
                                       "org.wezfurlong.wezterm",
                                       "Terminal"};
  for (const char* terminal : terminalClasses) {
    if (strcasecmp(name.c_str(), terminal) == 0) return true;
  }
  return false;
}

}  // namespace wrenly
