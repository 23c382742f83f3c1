// POSIX stand-in for starting the setup program, waiting for it, and pausing.
//
// The program is made executable and run with two arguments: its own POSIX path and
// the argument text the system composed, in the stand-in's ANSI code page where every
// character has a byte there (what a Windows program reading GetCommandLineA sees), else
// in UTF-8 as it came. A pipe closed on exec tells whether the exec
// itself worked, so a program that cannot be run is a failed start, as with
// CreateProcessA; errno then holds the reason, for LastFailureCode. Started programs are remembered while they run, because Windows
// refuses to delete the file of a running program and the clean-up relies on that.
//
// With memory files nothing is executed: a file that starts as a program does ("MZ",
// "#!" or an ELF header) counts as started, and runs until it is waited for, which ends
// it at once; the trace keeps a copy of the file's bytes as the start found them.
// Pauses return at once too.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "platform/byte_string.h"
#include "platform/platform.h"
#include "platform/posix/backend.h"

namespace plat {
namespace {

std::map<pid_t, std::string>& Running() {
  static std::map<pid_t, std::string> running;
  return running;
}

// Programs "started" from memory files get numbers above any real process id.
constexpr pid_t kFirstMemoryProgram = pid_t{1} << 24;
pid_t g_memoryPrograms = kFirstMemoryProgram;

void ReapFinished() {
  auto& running = Running();
  for (auto it = running.begin(); it != running.end();) {
    int status;
    if (it->first < kFirstMemoryProgram && waitpid(it->first, &status, WNOHANG) == it->first) it = running.erase(it);
    else ++it;
  }
}

bool LooksLikeProgram(const std::vector<uint8_t>& bytes) {
  static const char* const kHeads[] = {"MZ", "#!", ("\x7F" "ELF")};
  for (const char* head : kHeads) {
    size_t n = strlen(head);
    if (bytes.size() >= n && memcmp(bytes.data(), head, n) == 0) return true;
  }
  return false;
}

bool LaunchFromMemory(const std::string& path, FileHandle* process) {
  const std::vector<uint8_t>* bytes = posix::MemoryFileBytes(path);
  if (!bytes) {
    if (posix::Memory().Kind(path) == posix::NodeKind::kDirectory) errno = EACCES;
    return false;
  }
  posix::Current().trace.starts.back().image = *bytes;
  if (!LooksLikeProgram(*bytes)) {
    errno = ENOEXEC;
    return false;
  }
  pid_t pid = g_memoryPrograms++;
  Running()[pid] = posix::Memory().Canonical(path);
  *process = posix::kProcessBase + pid;
  return true;
}

bool Launch(const char* application, const char* arguments, FileHandle* process) {
  ScopedByteString ansi;
  if (Utf8ToAnsi(arguments, TextLength(arguments), ansi)) arguments = ansi.Text();
  std::string path = posix::ToPosix(application);
  if (posix::MemoryFilesOn()) return LaunchFromMemory(path, process);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = EACCES;  // CreateProcessA on a folder: access denied
    return false;
  }
  chmod(path.c_str(), st.st_mode | S_IXUSR | S_IXGRP | S_IXOTH);
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (pid == 0) {
    close(report[0]);
    execl(path.c_str(), path.c_str(), arguments, static_cast<char*>(nullptr));
    int err = errno;
    ssize_t ignored = write(report[1], &err, sizeof err);
    (void)ignored;
    _exit(127);
  }
  close(report[1]);
  int err = 0;
  ssize_t n;
  do n = read(report[0], &err, sizeof err); while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n > 0) {
    waitpid(pid, nullptr, 0);
    errno = err;
    return false;
  }
  Running()[pid] = posix::Disk().Canonical(path);
  *process = posix::kProcessBase + pid;
  return true;
}

}  // namespace

StartResult StartProcess(const char* application, char* commandLine, const char* arguments,
                         FileHandle* process) {
  auto& s = posix::Current();
  s.trace.starts.push_back({application ? application : "", commandLine ? commandLine : "",
                            arguments ? arguments : ""});
  if (s.plan.startNeedsElevation) return StartResult::kNeedsElevation;
  if (s.plan.startFailsWithError != 0) {
    errno = s.plan.startFailsWithError;
    return StartResult::kFailed;
  }
  return Launch(application, arguments, process) ? StartResult::kStarted : StartResult::kFailed;
}

bool StartElevatedProcess(const char* application, const char* arguments, FileHandle* process) {
  posix::Current().trace.starts.push_back({application, "(elevated)", arguments});
  return Launch(application, arguments, process);
}

bool WaitForProcess(FileHandle process, uint32_t milliseconds) {
  posix::Current().trace.waits.push_back(milliseconds);
  if (process < posix::kProcessBase) return false;
  pid_t pid = static_cast<pid_t>(process - posix::kProcessBase);
  if (pid >= kFirstMemoryProgram) return Running().erase(pid) > 0;
  struct timespec start, now;
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      Running().erase(pid);
      return true;
    }
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t elapsed = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (elapsed >= milliseconds) return false;
    PauseMilliseconds(5);
  }
}

void RestrictLibrarySearch() {}

void PauseMilliseconds(uint32_t milliseconds) {
  if (posix::MemoryFilesOn()) return;
  struct timespec t = {static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {}
}

}  // namespace plat

namespace plat::posix {

bool IsRunningProgram(const std::string& posixPath) {
  ReapFinished();
  std::string target = posix::Store().Canonical(posixPath);
  for (auto& [pid, path] : Running())
    if (path == target) return true;
  return false;
}

}  // namespace plat::posix
