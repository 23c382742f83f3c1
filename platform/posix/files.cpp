// POSIX stand-in for the Win32 file calls: open, size, seek, read, create, write, times, close.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/backend.h"

namespace plat {

using posix::Current;
using posix::HandleKind;

FileHandle OpenForReading(const char* path) {
  auto& s = Current();
  if (++s.opens == s.plan.openFailsAtCall) return kInvalidFile;
  int fd = open(posix::ToPosix(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kInvalidFile;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {  // CreateFileA opens no directory
    close(fd);
    return kInvalidFile;
  }
  posix::RememberHandle(fd, HandleKind::kReading);
  return fd;
}

bool QueryFileSize(FileHandle file, uint32_t* size) {
  struct stat st;
  if (file < 0 || file >= posix::kProcessBase || fstat(static_cast<int>(file), &st) != 0) return false;
  if (st.st_size > 0xFFFFFFFEll) return false;  // GetFileSize cannot tell a larger size
  *size = static_cast<uint32_t>(st.st_size);
  return true;
}

int32_t SeekFile(FileHandle file, int32_t distance, MoveMethod method) {
  auto& s = Current();
  ++s.seeks;
  int32_t result = -1;
  if (s.seeks != s.plan.seekFailsAtCall && file >= 0 && file < posix::kProcessBase) {
    int whence = method == kFromBeginning ? SEEK_SET : method == kFromCurrent ? SEEK_CUR : SEEK_END;
    off_t pos = lseek(static_cast<int>(file), distance, whence);
    if (pos >= 0 && pos <= 0x7FFFFFFF) result = static_cast<int32_t>(pos);
  }
  if (s.tracing) s.trace.seeks.push_back({distance, result});
  return result;
}

bool ReadBytes(FileHandle file, void* buffer, uint32_t count, uint32_t* got) {
  auto& s = Current();
  *got = 0;
  if (file < 0 || file >= posix::kProcessBase) return false;
  int fd = static_cast<int>(file);
  bool traced = posix::KindOf(fd) == HandleKind::kReading;
  uint32_t ask = count;
  bool fails = false;
  if (traced) {
    if (s.plan.readChunkLimit >= 0 && ask > s.plan.readChunkLimit) ask = static_cast<uint32_t>(s.plan.readChunkLimit);
    if (s.plan.readFailsAtOffset >= 0) {
      off_t pos = lseek(fd, 0, SEEK_CUR);
      if (pos >= s.plan.readFailsAtOffset) {
        ask = 0;
        fails = true;
      } else if (pos + static_cast<off_t>(ask) > s.plan.readFailsAtOffset) {
        ask = static_cast<uint32_t>(s.plan.readFailsAtOffset - pos);
        fails = true;
      }
    }
  }
  uint32_t total = 0;
  bool ok = true;
  while (total < ask) {
    ssize_t n = read(fd, static_cast<char*>(buffer) + total, ask - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) { ok = false; break; }
    if (n == 0) break;
    total += static_cast<uint32_t>(n);
  }
  if (fails) ok = false;
  *got = total;
  if (traced && s.tracing) s.trace.reads.push_back({count, total});
  return ok;
}

FileHandle CreateOutputFile(const char* path) {
  auto& s = Current();
  ++s.creates;
  if (s.tracing) s.trace.createdFiles.push_back(path);
  if (s.creates == s.plan.createFailsAtCall) return kInvalidFile;
  if (!s.plan.createFailsForPath.empty() && std::string(path).find(s.plan.createFailsForPath) != std::string::npos)
    return kInvalidFile;
  std::string p = posix::ToPosix(path);
  // Windows refuses to replace the file of a running program (a sharing violation).
  if (posix::IsRunningProgram(p)) return kInvalidFile;
  int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return kInvalidFile;
  posix::RememberHandle(fd, HandleKind::kOutput);
  return fd;
}

bool WriteBytes(FileHandle file, const void* data, uint32_t count, uint32_t* written) {
  auto& s = Current();
  *written = 0;
  if (file < 0 || file >= posix::kProcessBase) return false;
  int fd = static_cast<int>(file);
  bool traced = posix::KindOf(fd) == HandleKind::kOutput;
  uint32_t allow = count;
  bool fails = false;
  if (traced && s.plan.writeFailsAfterBytes >= 0) {
    int64_t room = s.plan.writeFailsAfterBytes - s.writtenBytes;
    if (room < 0) room = 0;
    if (room < allow) {
      allow = static_cast<uint32_t>(room);
      fails = true;
    }
  }
  uint32_t total = 0;
  bool ok = true;
  while (total < allow) {
    ssize_t n = write(fd, static_cast<const char*>(data) + total, allow - total);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) { ok = false; break; }
    total += static_cast<uint32_t>(n);
  }
  if (fails) ok = false;
  *written = total;
  if (traced) {
    s.writtenBytes += total;
    if (s.tracing) s.trace.writes.push_back({count, total});
  }
  return ok;
}

// DOS date: bits 15-9 years since 1980, 8-5 month, 4-0 day.
// DOS time: bits 15-11 hours, 10-5 minutes, 4-0 seconds / 2.
bool SetDosFileTime(FileHandle file, uint16_t dosDate, uint16_t dosTime) {
  if (file < 0 || file >= posix::kProcessBase) return false;
  struct tm t = {};
  t.tm_year = 80 + (dosDate >> 9);
  t.tm_mon = ((dosDate >> 5) & 15) - 1;
  t.tm_mday = dosDate & 31;
  t.tm_hour = dosTime >> 11;
  t.tm_min = (dosTime >> 5) & 63;
  t.tm_sec = (dosTime & 31) * 2;
  if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 59)
    return false;  // DosDateTimeToFileTime refuses fields out of range
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = timegm(&t);  // read as UTC: no time-zone conversion
  times[0].tv_nsec = times[1].tv_nsec = 0;
  return futimens(static_cast<int>(file), times) == 0;
}

bool CloseFileHandle(FileHandle file) {
  if (file >= posix::kProcessBase) return true;  // process handles own no descriptor
  if (file < 0) return false;
  auto& s = Current();
  int fd = static_cast<int>(file);
  bool output = posix::KindOf(fd) == HandleKind::kOutput;
  posix::RememberHandle(fd, HandleKind::kNone);
  bool ok = close(fd) == 0;
  if (output) {
    ++s.outputCloses;
    s.trace.outputCloses = static_cast<uint32_t>(s.outputCloses);
    if (s.plan.everyOutputCloseFails || s.outputCloses == s.plan.outputCloseFailsAtCall) ok = false;
  }
  return ok;
}

}  // namespace plat
