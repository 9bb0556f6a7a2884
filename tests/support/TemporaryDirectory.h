#pragma once

#include <filesystem>
#include <string>

namespace wrenly {

// A fresh directory under the system temporary folder, removed with everything in it.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& child) const {
    return path_ / child;
  }

 private:
  std::filesystem::path path_;
};

// A file's bytes ("" when it cannot be read) and its permission bits (0 when it is not there).
std::string readFile(const std::filesystem::path& path);
unsigned fileMode(const std::filesystem::path& path);

}  // namespace wrenly
