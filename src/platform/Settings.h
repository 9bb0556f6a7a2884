#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wrenly {

// The user's stored preferences: Bool and String values by key. Safe to call from any thread.
class Settings {
 public:
  virtual ~Settings() = default;
  virtual std::optional<bool> boolValue(std::string_view key) const = 0;
  virtual std::optional<std::string> stringValue(std::string_view key) const = 0;
  virtual void setBool(std::string_view key, bool value) = 0;
  virtual void setString(std::string_view key, std::string_view value) = 0;
  virtual void remove(std::string_view key) = 0;
};

}  // namespace wrenly
