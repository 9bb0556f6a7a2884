#pragma once

#include <map>
#include <mutex>
#include <variant>

#include "platform/Settings.h"

namespace wrenly {

// Settings held in memory, for tests.
class MemorySettings final : public Settings {
 public:
  std::optional<bool> boolValue(std::string_view key) const override { return get<bool>(key); }
  std::optional<std::string> stringValue(std::string_view key) const override {
    return get<std::string>(key);
  }
  void setBool(std::string_view key, bool value) override { set(key, value); }
  void setString(std::string_view key, std::string_view value) override {
    set(key, std::string(value));
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
  template <typename T>
  std::optional<T> get(std::string_view key) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    auto* value = it == values_.end() ? nullptr : std::get_if<T>(&it->second);
    return value ? std::optional<T>(*value) : std::nullopt;
  }
  void set(std::string_view key, std::variant<bool, std::string> value) {
    std::lock_guard lock(mutex_);
    values_.insert_or_assign(std::string(key), std::move(value));
  }

  mutable std::mutex mutex_;
  std::map<std::string, std::variant<bool, std::string>, std::less<>> values_;
};

}  // namespace wrenly
