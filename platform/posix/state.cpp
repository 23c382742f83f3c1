// The POSIX backend's process-wide state and the test controls over it.
#include <map>

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

static std::map<intptr_t, HandleKind>& Kinds() {
  static std::map<intptr_t, HandleKind> kinds;
  return kinds;
}

void RememberHandle(intptr_t file, HandleKind kind) {
  if (file < 0) return;
  if (kind == HandleKind::kNone) Kinds().erase(file);
  else Kinds()[file] = kind;
}

HandleKind KindOf(intptr_t file) {
  auto it = Kinds().find(file);
  return it == Kinds().end() ? HandleKind::kNone : it->second;
}

std::function<void(const testing::SeekCall&)>& SeekHook() {
  static std::function<void(const testing::SeekCall&)> hook;
  return hook;
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

void OnSeek(std::function<void(const SeekCall&)> hook) { posix::SeekHook() = std::move(hook); }

}  // namespace plat::testing
