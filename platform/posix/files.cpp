// POSIX stand-in for the Win32 file calls: open, size, seek, read, create, write, times, close.
//
// The calls keep the Win32 rules and apply the injected faults; the bytes themselves
// live in the file store in use (posix::Store): the real file system, or memory.
#include <stdio.h>
#include <time.h>

#include "platform/platform.h"
#include "platform/posix/backend.h"

namespace plat {

using posix::Current;
using posix::HandleKind;

static bool IsFile(FileHandle file) { return file >= 0 && file < posix::kProcessBase; }

FileHandle OpenForReading(const char* path) {
  auto& s = Current();
  if (++s.opens == s.plan.openFailsAtCall) return kInvalidFile;
  // CreateFileA opens no directory.
  FileHandle file = posix::Store().OpenExisting(posix::ToPosix(path));
  if (file < 0) return kInvalidFile;
  posix::RememberHandle(file, HandleKind::kReading);
  return file;
}

bool QueryFileSize(FileHandle file, uint32_t* size) {
  uint64_t bytes = 0;
  if (!IsFile(file) || !posix::StoreOf(file).Size(file, &bytes)) return false;
  if (bytes > 0xFFFFFFFEull) return false;  // GetFileSize cannot tell a larger size
  *size = static_cast<uint32_t>(bytes);
  return true;
}

int32_t SeekFile(FileHandle file, int32_t distance, MoveMethod method) {
  auto& s = Current();
  ++s.seeks;
  int32_t result = -1;
  if (s.seeks != s.plan.seekFailsAtCall && IsFile(file)) {
    int whence = method == kFromBeginning ? SEEK_SET : method == kFromCurrent ? SEEK_CUR : SEEK_END;
    int64_t pos = posix::StoreOf(file).Seek(file, distance, whence);
    if (pos >= 0 && pos <= 0x7FFFFFFF) result = static_cast<int32_t>(pos);
  }
  if (s.tracing) {
    s.trace.seeks.push_back({distance, result, file, method});
    if (posix::SeekHook()) posix::SeekHook()(s.trace.seeks.back());
  }
  return result;
}

bool ReadBytes(FileHandle file, void* buffer, uint32_t count, uint32_t* got) {
  auto& s = Current();
  *got = 0;
  if (!IsFile(file)) return false;
  posix::FileStore& store = posix::StoreOf(file);
  bool traced = posix::KindOf(file) == HandleKind::kReading;
  uint32_t ask = count;
  bool fails = false;
  if (traced) {
    if (s.plan.readChunkLimit >= 0 && ask > s.plan.readChunkLimit) ask = static_cast<uint32_t>(s.plan.readChunkLimit);
    if (s.plan.readFailsAtOffset >= 0) {
      int64_t pos = store.Seek(file, 0, SEEK_CUR);
      if (pos >= s.plan.readFailsAtOffset) {
        ask = 0;
        fails = true;
      } else if (pos + static_cast<int64_t>(ask) > s.plan.readFailsAtOffset) {
        ask = static_cast<uint32_t>(s.plan.readFailsAtOffset - pos);
        fails = true;
      }
    }
  }
  uint32_t total = 0;
  bool ok = store.Read(file, buffer, ask, &total);
  if (fails) ok = false;
  *got = total;
  if (traced && s.tracing) s.trace.reads.push_back({count, total});
  return ok;
}

FileHandle CreateOutputFile(const char* path) {
  auto& s = Current();
  ++s.creates;
  if (s.tracing) {
    s.trace.createdFiles.push_back(path);
    s.trace.creates.push_back({path, kInvalidFile});
  }
  if (s.creates == s.plan.createFailsAtCall) return kInvalidFile;
  if (!s.plan.createFailsForPath.empty() && std::string(path).find(s.plan.createFailsForPath) != std::string::npos)
    return kInvalidFile;
  std::string p = posix::ToPosix(path);
  // Windows refuses to replace the file of a running program (a sharing violation).
  if (posix::IsRunningProgram(p)) return kInvalidFile;
  FileHandle file = posix::Store().Create(p);
  if (file < 0) return kInvalidFile;
  posix::RememberHandle(file, HandleKind::kOutput);
  if (s.tracing) s.trace.creates.back().file = file;
  return file;
}

bool WriteBytes(FileHandle file, const void* data, uint32_t count, uint32_t* written) {
  auto& s = Current();
  *written = 0;
  if (!IsFile(file)) return false;
  bool traced = posix::KindOf(file) == HandleKind::kOutput;
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
  bool ok = posix::StoreOf(file).Write(file, data, allow, &total);
  if (fails) ok = false;
  *written = total;
  if (traced) {
    s.writtenBytes += total;
    if (s.tracing) s.trace.writes.push_back({count, total, file});
  }
  return ok;
}

// DOS date: bits 15-9 years since 1980, 8-5 month, 4-0 day.
// DOS time: bits 15-11 hours, 10-5 minutes, 4-0 seconds / 2.
bool SetDosFileTime(FileHandle file, uint16_t dosDate, uint16_t dosTime) {
  if (!IsFile(file)) return false;
  struct tm t = {};
  t.tm_year = 80 + (dosDate >> 9);
  t.tm_mon = ((dosDate >> 5) & 15) - 1;
  t.tm_mday = dosDate & 31;
  t.tm_hour = dosTime >> 11;
  t.tm_min = (dosTime >> 5) & 63;
  t.tm_sec = (dosTime & 31) * 2;
  if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 59)
    return false;  // DosDateTimeToFileTime refuses fields out of range
  return posix::StoreOf(file).SetTime(file, timegm(&t));  // read as UTC: no time-zone conversion
}

bool CloseFileHandle(FileHandle file) {
  if (file >= posix::kProcessBase) return true;  // process handles own no descriptor
  if (file < 0) return false;
  auto& s = Current();
  bool output = posix::KindOf(file) == HandleKind::kOutput;
  posix::RememberHandle(file, HandleKind::kNone);
  bool ok = posix::StoreOf(file).Close(file);
  if (output) {
    ++s.outputCloses;
    s.trace.outputCloses = static_cast<uint32_t>(s.outputCloses);
    if (s.plan.everyOutputCloseFails || s.outputCloses == s.plan.outputCloseFailsAtCall) ok = false;
  }
  return ok;
}

}  // namespace plat
