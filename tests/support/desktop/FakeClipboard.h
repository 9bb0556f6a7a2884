#pragma once

#include <optional>
#include <string>

#include "platform/Clipboard.h"

namespace wrenly {

// A clipboard that remembers what it holds and can be told to refuse writes.
class FakeClipboard final : public Clipboard {
 public:
  bool writeString(const std::string& text) override {
    contents_.reset();  // cleared first, as the real one is
    if (!refuses_) contents_ = text;
    return !refuses_;
  }

  void refuseWrites() { refuses_ = true; }
  // What another program would paste; none when empty.
  const std::optional<std::string>& contents() const { return contents_; }
  void setContents(std::optional<std::string> contents) { contents_ = std::move(contents); }

 private:
  std::optional<std::string> contents_;
  bool refuses_ = false;
};

}  // namespace wrenly
