// The POSIX backend's file store on the real file system: plain POSIX calls.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/posix/backend.h"

namespace plat::posix {
namespace {

class DiskFiles final : public FileStore {
 public:
  intptr_t OpenExisting(const std::string& path) override {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      close(fd);
      errno = EISDIR;
      return -1;
    }
    return fd;
  }

  bool Size(intptr_t file, uint64_t* size) override {
    struct stat st;
    if (fstat(static_cast<int>(file), &st) != 0) return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
  }

  int64_t Seek(intptr_t file, int64_t offset, int whence) override {
    return lseek(static_cast<int>(file), offset, whence);
  }

  bool Read(intptr_t file, void* buffer, uint32_t count, uint32_t* got) override {
    uint32_t total = 0;
    bool ok = true;
    while (total < count) {
      ssize_t n = read(static_cast<int>(file), static_cast<char*>(buffer) + total, count - total);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) { ok = false; break; }
      if (n == 0) break;
      total += static_cast<uint32_t>(n);
    }
    *got = total;
    return ok;
  }

  intptr_t Create(const std::string& path) override {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  }

  bool Write(intptr_t file, const void* data, uint32_t count, uint32_t* written) override {
    uint32_t total = 0;
    bool ok = true;
    while (total < count) {
      ssize_t n = write(static_cast<int>(file), static_cast<const char*>(data) + total, count - total);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) { ok = false; break; }
      total += static_cast<uint32_t>(n);
    }
    *written = total;
    return ok;
  }

  bool SetTime(intptr_t file, int64_t seconds) override {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    return futimens(static_cast<int>(file), times) == 0;
  }

  bool Close(intptr_t file) override { return close(static_cast<int>(file)) == 0; }

  NodeKind Kind(const std::string& path) override {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return NodeKind::kMissing;
    return S_ISDIR(st.st_mode) ? NodeKind::kDirectory : NodeKind::kFile;
  }

  bool AnyNameMatches(const std::string& directory, const std::string& pattern) override {
    DIR* d = opendir(directory.c_str());
    if (!d) return false;
    bool found = false;
    while (struct dirent* e = readdir(d)) {
      if (fnmatch(pattern.c_str(), e->d_name, 0) == 0) { found = true; break; }
    }
    closedir(d);
    return found;
  }

  bool MakeDirectory(const std::string& path) override { return mkdir(path.c_str(), 0755) == 0; }

  bool RemoveFile(const std::string& path) override {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      return false;
    }
    return unlink(path.c_str()) == 0;
  }

  bool RemoveDirectory(const std::string& path) override { return rmdir(path.c_str()) == 0; }

  std::string Canonical(const std::string& path) override {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
  }
};

}  // namespace

FileStore& Disk() {
  static DiskFiles disk;
  return disk;
}

}  // namespace plat::posix
