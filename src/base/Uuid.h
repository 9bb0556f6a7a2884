#pragma once

#include <string>

namespace wrenly {

// A random (version 4) UUID in the 36-character upper-case hyphenated form the service expects.
std::string makeUuid();

}  // namespace wrenly
