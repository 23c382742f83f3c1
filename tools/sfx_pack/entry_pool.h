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

// Makes entries 0 to count-1 with `make` on `jobs` worker threads, each entry on its
// own, and hands them out in their order with Take. A worker starts an entry only while
// fewer than 2 × jobs entries are made or being made and not yet taken, so memory holds
// a few entries at a time however many there are. Each entry depends on its input
// alone, so the output is the same whatever the number of threads.
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
  const size_t count_;
  const size_t window_;
  Make make_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Slot> slots_;   // slot i % window_ holds entry i
  size_t next_ = 0;           // the next entry a worker starts
  size_t taken_ = 0;          // entries handed out
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace sfxpack
