// Making a package's entries on several threads and handing them out in record order.
#pragma once

#include <stddef.h>

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/sfx_pack/package_writer.h"

namespace sfxpack {

inline constexpr int kMaxJobs = 64;

// The number of threads create uses by default: one per processor it may run on.
int DefaultJobs();

// Bytes of made entries waiting to be taken beyond which workers start no more entries
// (past their first 2 × jobs).
inline constexpr size_t kPoolWaitingBudget = 64 << 20;
inline constexpr size_t kPoolSlotsPerJob = 32;

// Makes entries 0 to count-1 with `make` on `jobs` worker threads, each entry on its
// own, and hands them out in their order with TakeNext. Entries started and not yet
// taken are "in hand". A worker may always have up to 2 × jobs entries in hand; beyond
// that it starts another while the made entries waiting to be taken hold less than
// kPoolWaitingBudget bytes, and never more than kPoolSlotsPerJob × jobs entries in hand.
// So while one worker compresses a large file, the others go on through the files after
// it instead of waiting for it to be taken, and memory stays bounded: the budget, plus
// the entries being made, one per worker. Each entry depends on its input alone, so the
// output is the same whatever the number of threads.
class EntryPool {
 public:
  using Make = std::function<PackEntry(size_t index)>;
  EntryPool(size_t count, int jobs, Make make);
  // Stops the workers after the entries they are making and waits for them.
  ~EntryPool();
  EntryPool(const EntryPool&) = delete;
  EntryPool& operator=(const EntryPool&) = delete;

  // The next entry in order, once it is made; rethrows what making it threw.
  PackEntry TakeNext();

 private:
  void Work();
  void Stop();

  struct Slot {
    std::unique_ptr<PackEntry> entry;
    std::exception_ptr failure;
    bool done = false;
  };
  bool MayStart() const;  // under mutex_

  const size_t count_;
  const size_t sure_;     // entries in hand a worker may always have: 2 × jobs
  const size_t window_;   // the most in hand, and the slots of the ring
  Make make_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Slot> slots_;   // slot i % window_ holds entry i
  size_t next_ = 0;           // the next entry a worker starts
  size_t taken_ = 0;          // entries handed out
  size_t waiting_ = 0;        // data bytes of the made entries not yet taken
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace sfxpack
