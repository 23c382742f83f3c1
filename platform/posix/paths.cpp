// POSIX stand-in for the Win32 path calls: search, directories, deletion, temp and own path.
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "platform/byte_string.h"
#include "platform/platform.h"
#include "platform/posix/backend.h"

namespace plat {

// FindFirstFileA: a plain name matches a file or directory of that name; a last
// component with wildcards matches the names in its directory. "*.*" matches every
// name, and Windows lists "." in every directory but a root, so "dir\*.*" finds
// something exactly when the directory exists.
bool FindAnyMatch(const char* pattern) {
  if (posix::Current().tracing) posix::Current().trace.searches.push_back(pattern);
  std::string path = posix::ToPosix(pattern);
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  posix::FileStore& store = posix::Store();
  if (last.find_first_of("*?") == std::string::npos) {
    if (last.empty()) return false;  // "dir\" names nothing to FindFirstFileA
    return store.Kind(path) != posix::NodeKind::kMissing;
  }
  if (store.Kind(dir) != posix::NodeKind::kDirectory) return false;
  if (last == "*.*" || last == "*") return true;
  return store.AnyNameMatches(dir, last);
}

bool MakeDirectory(const char* path) {
  auto& s = posix::Current();
  if (s.tracing) s.trace.createdDirectories.push_back(path);
  if (!s.plan.makeDirectoryFailsForPath.empty() &&
      std::string(path).find(s.plan.makeDirectoryFailsForPath) != std::string::npos)
    return false;
  return posix::Store().MakeDirectory(posix::ToPosix(path));
}

bool RemoveFile(const char* path) {
  auto& s = posix::Current();
  if (s.tracing) ++s.trace.removeAttempts;
  if (s.plan.removeFileFailsTimes > 0) {
    --s.plan.removeFileFailsTimes;
    return false;
  }
  std::string p = posix::ToPosix(path);
  if (posix::IsRunningProgram(p)) return false;  // Windows keeps a running program's file
  return posix::Store().RemoveFile(p);
}

bool RemoveEmptyDirectory(const char* path) { return posix::Store().RemoveDirectory(posix::ToPosix(path)); }

// $TMPDIR when set and non-empty, else /tmp, with a trailing "\" like GetTempPathW.
uint32_t QueryTempPath(char* buffer, uint32_t size) {
  auto& s = posix::Current();
  std::string t;
  if (s.plan.overrideTempPath) {
    t = s.plan.tempPath;
  } else {
    const char* env = getenv("TMPDIR");
    t = env && *env ? env : "/tmp";
    if (t.back() != '/' && t.back() != '\\') t += '\\';
  }
  uint32_t units = size == 0 ? 0 : (size - 1) / kUtf8BytesPerUnit;
  if (t.size() + 1 > size || Utf16Units(t.data(), static_cast<uint32_t>(t.size())) > units) return 0;
  memcpy(buffer, t.c_str(), t.size() + 1);
  return static_cast<uint32_t>(t.size());
}

uint32_t QuerySelfPath(char* buffer, uint32_t size) {
  if (size == 0) return 0;
  auto& s = posix::Current();
  std::string self;
  if (s.plan.overrideSelfPath) {
    self = s.plan.selfPath;
  } else {
    char link[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", link, sizeof link - 1);
    if (n < 0) n = 0;
    self.assign(link, static_cast<size_t>(n));
  }
  // GetModuleFileNameW cuts the name to the buffer and still terminates it.
  size_t n = Utf8PrefixLength(self.data(), static_cast<uint32_t>(self.size()), (size - 1) / kUtf8BytesPerUnit);
  memcpy(buffer, self.data(), n);
  buffer[n] = 0;
  return static_cast<uint32_t>(n);
}

// The Linux file system keeps no short names.
bool QueryShortPath(const char*, ByteString&) { return false; }

}  // namespace plat
