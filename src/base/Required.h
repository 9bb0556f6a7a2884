#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace wrenly {

// The port a component cannot work without. A missing one is a fault in how the program was put
// together, so it stops the component's construction at once with a message naming both.
template <typename Port>
Port& required(Port* port, std::string_view user, std::string_view what) {
  if (!port) {
    throw std::invalid_argument(std::string(user) + " needs the " + std::string(what));
  }
  return *port;
}

}  // namespace wrenly
