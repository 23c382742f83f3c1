// Shared state of the POSIX backend: the installed fault plan, the trace, the handles,
// and the two places files can live (the real file system, or memory for tests).
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/testing.h"

namespace plat::posix {

struct State {
  // Calls are recorded only once a test installed a plan, so that the Linux stub and
  // the package tool do not accumulate a trace of every read and write.
  bool tracing = false;
  testing::FaultPlan plan;
  testing::Trace trace;
  int opens = 0;
  int creates = 0;
  int outputCloses = 0;
  int seeks = 0;
  int allocationsCounted = 0;
  int64_t writtenBytes = 0;
};

State& Current();

// Windows path of the system -> POSIX path: "\" becomes "/".
std::string ToPosix(const char* path);

// Handles of this backend: file descriptors of the real file system, files in memory
// from kMemoryBase, and process handles from kProcessBase. Descriptors stay far below
// 2^29 and process ids below 2^22 (Linux's pid_max limit), so every handle fits a
// 32-bit intptr_t as well.
inline constexpr intptr_t kMemoryBase = intptr_t{1} << 29;
inline constexpr intptr_t kProcessBase = intptr_t{1} << 30;

// The hook testing::OnSeek installed, called after each traced seek.
std::function<void(const testing::SeekCall&)>& SeekHook();

enum class HandleKind : uint8_t { kNone, kReading, kOutput };
void RememberHandle(intptr_t file, HandleKind kind);
HandleKind KindOf(intptr_t file);

// The code point of a Windows-1252 byte, and a code point appended as UTF-8.
uint32_t Cp1252CodePoint(unsigned char b);
void AppendUtf8(std::string& out, uint32_t c);

// True while a process started by StartProcess runs the program at this POSIX path.
bool IsRunningProgram(const std::string& posixPath);

enum class NodeKind : uint8_t { kMissing, kFile, kDirectory };

// Where files live. Both stores take POSIX paths and answer as the POSIX calls do,
// errno included; the Win32 rules and the injected faults are applied above them.
class FileStore {
 public:
  virtual ~FileStore() = default;
  // An existing file that is not a directory, opened for reading; -1 on failure.
  virtual intptr_t OpenExisting(const std::string& path) = 0;
  virtual bool Size(intptr_t file, uint64_t* size) = 0;
  // lseek: the new position, or -1.
  virtual int64_t Seek(intptr_t file, int64_t offset, int whence) = 0;
  // Reads until `count` bytes or the end of the file.
  virtual bool Read(intptr_t file, void* buffer, uint32_t count, uint32_t* got) = 0;
  // Creates or truncates a file for writing; -1 on failure.
  virtual intptr_t Create(const std::string& path) = 0;
  virtual bool Write(intptr_t file, const void* data, uint32_t count, uint32_t* written) = 0;
  // Access and modification time, in seconds since 1970.
  virtual bool SetTime(intptr_t file, int64_t seconds) = 0;
  virtual bool Close(intptr_t file) = 0;
  virtual NodeKind Kind(const std::string& path) = 0;
  // True when a name in the directory matches the fnmatch pattern.
  virtual bool AnyNameMatches(const std::string& directory, const std::string& pattern) = 0;
  virtual bool MakeDirectory(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;       // not a directory
  virtual bool RemoveDirectory(const std::string& path) = 0;  // an empty one
  // The path with ".", ".." and repeated separators resolved, for comparing paths.
  virtual std::string Canonical(const std::string& path) = 0;
};

FileStore& Disk();
FileStore& Memory();

// The store every path call uses: memory while a test asked for memory files.
FileStore& Store();
// The store that issued a file handle.
FileStore& StoreOf(intptr_t file);
bool MemoryFilesOn();

// The memory store's own access, for the process stand-in and the test controls.
// The file's bytes, or nullptr when the path names no file.
const std::vector<uint8_t>* MemoryFileBytes(const std::string& path);

}  // namespace plat::posix
