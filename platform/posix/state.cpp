// The POSIX backend's process-wide state and the test controls over it.
#include <vector>

#include "platform/posix/backend.h"

namespace plat::posix {

State& Current() {
  static State state;
  return state;
}

std::string ToPosix(const char* path) {
  std::string out(path);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

static std::vector<HandleKind>& Kinds() {
  static std::vector<HandleKind> kinds;
  return kinds;
}

void RememberHandle(int fd, HandleKind kind) {
  auto& kinds = Kinds();
  if (fd < 0) return;
  if (static_cast<size_t>(fd) >= kinds.size()) kinds.resize(fd + 1, HandleKind::kNone);
  kinds[fd] = kind;
}

HandleKind KindOf(int fd) {
  auto& kinds = Kinds();
  if (fd < 0 || static_cast<size_t>(fd) >= kinds.size()) return HandleKind::kNone;
  return kinds[fd];
}

}  // namespace plat::posix

namespace plat::testing {

void Install(const FaultPlan& plan) {
  auto& s = posix::Current();
  int64_t live = s.trace.liveAllocations, liveBytes = s.trace.liveBytes;
  s = posix::State{};
  s.tracing = true;
  s.plan = plan;
  // Live allocations stay counted, so a test sees only the balance of its own run.
  s.trace.liveAllocations = live;
  s.trace.liveBytes = liveBytes;
  s.trace.peakBytes = liveBytes;
}

void Reset() { Install(FaultPlan{}); }

const Trace& Recorded() { return posix::Current().trace; }

std::string ToPosixPath(const char* windowsPath) { return posix::ToPosix(windowsPath); }

}  // namespace plat::testing
