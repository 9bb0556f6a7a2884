#pragma once

// The few interface texts that name keys or places differently on a Linux desktop. They are kept
// together so a translation or a later desktop (Wayland, another layout) changes one file.
namespace DesktopWording {

inline constexpr const char* rightAltTitle = "右 Alt";
inline constexpr const char* leftAltTitle = "左 Alt";
inline constexpr const char* rightSuperTitle = "右 Super";
inline constexpr const char* leftSuperTitle = "左 Super";
inline constexpr const char* altSuperRTitle = "Alt+Super+R";
inline constexpr const char* pasteKeys = "Ctrl+V";

}  // namespace DesktopWording
