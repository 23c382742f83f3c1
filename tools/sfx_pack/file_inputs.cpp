// Turning the command line's files and directories into named entries, and reading a
// file into its entry.
#include "tools/sfx_pack/file_inputs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "tools/sfx_pack/dos_time.h"
#include "tools/sfx_pack/entry_names.h"
#include "tools/sfx_pack/pack_error.h"

namespace sfxpack {

namespace {

// The last component of a path, trailing slashes ignored; "" for "/", "." and "..",
// which name no entry of their own.
std::string BaseName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.rfind('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  return base == "." || base == ".." || base == "/" ? std::string() : base;
}

std::string JoinName(const std::string& prefix, const std::string& name) {
  return prefix.empty() ? name : prefix + "/" + name;
}

std::vector<std::string> SortedDirectoryNames(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) throw PackError(path, "cannot open directory: " + SystemReason());
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// What CollectInputs carries through the walk: the output to leave out, and the
// findings about what it skipped.
struct Walk {
  bool haveOutput = false;
  struct stat output{};
  std::vector<Finding>& skipped;
};

bool IsOutput(const Walk& walk, const struct stat& info) {
  return walk.haveOutput && info.st_dev == walk.output.st_dev && info.st_ino == walk.output.st_ino;
}

// Looks at one path: false, with a finding, for a symbolic link whose target does not
// exist (it is skipped); throws for any other path that cannot be read.
bool StatInput(const std::string& path, struct stat& link, struct stat& target, Walk& walk) {
  if (::lstat(path.c_str(), &link) != 0) throw PackError(path, "cannot read: " + SystemReason());
  if (::stat(path.c_str(), &target) == 0) return true;
  if (!S_ISLNK(link.st_mode) || (errno != ENOENT && errno != ELOOP)) throw PackError(path, "cannot read: " + SystemReason());
  std::string to(4096, '\0');
  ssize_t n = ::readlink(path.c_str(), to.data(), to.size() - 1);
  to.resize(n > 0 ? static_cast<size_t>(n) : 0);
  walk.skipped.push_back({Severity::kWarning, path,
                          "broken symbolic link (to \"" + to + "\", which does not exist): skipped", "", 0});
  return false;
}

void CollectDirectory(const std::string& path, const std::string& prefix, std::vector<InputFile>& out, Walk& walk) {
  for (const std::string& child : SortedDirectoryNames(path)) {
    std::string childPath = path + "/" + child;
    std::string childName = JoinName(prefix, child);
    struct stat link{}, target{};
    if (!StatInput(childPath, link, target, walk)) continue;
    if (S_ISDIR(target.st_mode)) {
      if (S_ISLNK(link.st_mode))
        throw PackError(childPath, "symbolic link to a directory inside an input is not followed");
      CollectDirectory(childPath, childName, out, walk);
    } else if (S_ISREG(target.st_mode)) {
      // The package being written lies in the folder packed (create --output app.exe .
      // run twice): the earlier package is not packed into the new one.
      if (!IsOutput(walk, target)) out.push_back({childPath, childName});
    } else {
      throw PackError(childPath, "neither a regular file nor a directory");
    }
  }
}

}  // namespace

std::vector<InputFile> CollectInputs(const std::vector<std::string>& inputs, const std::string& output,
                                     std::vector<Finding>& skipped) {
  Walk walk{false, {}, skipped};
  walk.haveOutput = !output.empty() && ::stat(output.c_str(), &walk.output) == 0;
  std::vector<InputFile> out;
  for (const std::string& input : inputs) {
    struct stat link{}, info{};
    if (input.empty()) throw PackError("(empty input name)", "no such file");
    if (!StatInput(input, link, info, walk)) continue;
    std::string base = BaseName(input);
    if (S_ISDIR(info.st_mode)) {
      std::string root = input;
      while (root.size() > 1 && root.back() == '/') root.pop_back();
      CollectDirectory(root, base, out, walk);
    } else if (S_ISREG(info.st_mode)) {
      if (base.empty()) throw PackError(input, "cannot name an entry after this path");
      if (IsOutput(walk, info)) throw PackError(input, "is also the output; give another --output");
      out.push_back({input, base});
    } else {
      throw PackError(input, "neither a regular file nor a directory");
    }
  }
  return out;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat x{}, y{};
  return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

PackEntry MakeFileEntry(const InputFile& input, int level) {
  struct stat info{};
  if (::stat(input.path.c_str(), &info) != 0)
    throw PackError(input.path, "cannot read: " + SystemReason());
  if (info.st_size >= kMaxPackageSize)
    throw PackError(input.path, "file is 2 GiB or larger; positions in a package are signed 32-bit");
  std::ifstream in(input.path, std::ios::binary);
  if (!in) throw PackError(input.path, "cannot open: " + SystemReason());
  Bytes data(static_cast<size_t>(info.st_size));
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (in.gcount() != static_cast<std::streamsize>(data.size()) || in.peek() != EOF)
    throw PackError(input.path, "file changed size while it was read");

  PackEntry entry;
  entry.name = input.name;
  entry.flags = NameFlags(input.name);
  DosDateTime when = ToDosDateTime(info.st_mtime);
  entry.modDate = when.date;
  entry.modTime = when.time;
  entry.crc32 = Crc32Of(data);
  entry.uncompressedSize = static_cast<uint32_t>(data.size());
  Bytes packed;
  if (level != kStoreLevel && DeflateBuffer(data, level, packed)) {
    entry.method = kMethodDeflate;
    entry.versionNeeded = kVersionDeflate;
    entry.data = std::move(packed);
  } else {
    entry.data = std::move(data);
  }
  return entry;
}

}  // namespace sfxpack
