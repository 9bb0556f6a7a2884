#include "service/UsableToken.h"

#include <algorithm>

namespace wrenly {

std::optional<std::string> usableToken(std::optional<std::string> token) {
  const auto isControl = [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) == 0x7F;
  };
  if (!token || token->empty() || std::ranges::any_of(*token, isControl)) return std::nullopt;
  return token;
}

}  // namespace wrenly
