// A temporary directory for one test, removed with everything in it afterwards, and
// questions about the files tests leave.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace sfxtest {

class TempDir {
 public:
  TempDir() : path_(std::filesystem::temp_directory_path().string() + "/sfx-test-XXXXXX") {
    if (!mkdtemp(path_.data())) throw std::runtime_error("mkdtemp failed");
  }
  // Makes everything writable first: tests may leave read-only entries behind.
  ~TempDir() {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator(); ++it)
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// True for anything at `path`, a broken symbolic link included.
inline bool Exists(const std::string& path) {
  return std::filesystem::exists(std::filesystem::symlink_status(path));
}

inline bool IsDirectory(const std::string& path) { return std::filesystem::is_directory(path); }

// Every file and directory below `root`, as relative paths with "/", sorted.
inline std::vector<std::string> ListTree(const std::string& root) {
  namespace fs = std::filesystem;
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator(); ++it)
    out.push_back(fs::relative(it->path(), root).generic_string());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace sfxtest
