// A temporary directory for one test, removed with everything in it afterwards.
#pragma once

#include <string>
#include <vector>

namespace sfxtest {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);
// Every file and directory below `root`, as relative paths with "/", sorted.
std::vector<std::string> ListTree(const std::string& root);

}  // namespace sfxtest
