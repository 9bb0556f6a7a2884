#pragma once

#include <map>
#include <mutex>
#include <variant>

#include "platform/Settings.h"

namespace wrenly {

// Settings held in memory, for tests.
class MemorySettings final : public Settings {
 public:
  std::optional<bool> boolValue(std::string_view key) const override {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    if (auto* b = std::get_if<bool>(&it->second)) return *b;
    return std::nullopt;
  }
  std::optional<std::string> stringValue(std::string_view key) const override {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    if (auto* s = std::get_if<std::string>(&it->second)) return *s;
    return std::nullopt;
  }
  void setBool(std::string_view key, bool value) override {
    std::lock_guard lock(mutex_);
    values_.insert_or_assign(std::string(key), value);
  }
  void setString(std::string_view key, std::string_view value) override {
    std::lock_guard lock(mutex_);
    values_.insert_or_assign(std::string(key), std::string(value));
  }
  void remove(std::string_view key) override {
    std::lock_guard lock(mutex_);
    if (auto it = values_.find(key); it != values_.end()) values_.erase(it);
  }
  bool contains(std::string_view key) const {
    std::lock_guard lock(mutex_);
    return values_.find(key) != values_.end();
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::variant<bool, std::string>, std::less<>> values_;
};

}  // namespace wrenly
