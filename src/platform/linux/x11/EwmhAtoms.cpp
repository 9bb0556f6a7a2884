#include "platform/linux/x11/EwmhAtoms.h"

#include <array>

namespace wrenly {

EwmhAtoms::EwmhAtoms(Display* display) {
  // One round trip for all of them.
  std::array names{
      "_NET_ACTIVE_WINDOW",  "_NET_CLIENT_LIST_STACKING",  "_NET_WM_PID",
      "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_DIALOG",
      "_NET_WM_STATE",       "_NET_WM_STATE_HIDDEN",       "_GTK_APPLICATION_ID",
      "UTF8_STRING"};
  std::array<Atom, names.size()> atoms{};
  XInternAtoms(display, const_cast<char**>(names.data()), names.size(), False, atoms.data());
  activeWindow = atoms[0];
  clientListStacking = atoms[1];
  wmPid = atoms[2];
  wmWindowType = atoms[3];
  typeNormal = atoms[4];
  typeDialog = atoms[5];
  wmState = atoms[6];
  stateHidden = atoms[7];
  gtkApplicationID = atoms[8];
  utf8String = atoms[9];
}

}  // namespace wrenly
