// Shared state of the POSIX backend: the installed fault plan, the trace, the handles.
#pragma once

#include <string>

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

// Handles of this backend: file descriptors, and process handles above kProcessBase.
// Descriptors stay far below 2^30 and process ids below 2^22 (Linux's pid_max limit), so
// kProcessBase + pid fits a 32-bit intptr_t as well.
inline constexpr intptr_t kProcessBase = intptr_t{1} << 30;

enum class HandleKind : uint8_t { kNone, kReading, kOutput };
void RememberHandle(int fd, HandleKind kind);
HandleKind KindOf(int fd);

// The code point of a Windows-1252 byte, and a code point appended as UTF-8.
uint32_t Cp1252CodePoint(unsigned char b);
void AppendUtf8(std::string& out, uint32_t c);

// True while a process started by StartProcess runs the program at this POSIX path.
bool IsRunningProgram(const std::string& posixPath);

}  // namespace plat::posix
