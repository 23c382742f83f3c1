// A pool of worker threads making entries, and the ring of slots that hands them out in
// order.
//
// Entry i goes into slot i % window. A worker may start entry `next` only when
// next < taken + window, so that the slot it will fill was emptied by TakeNext, and
// when MayStart allows it by the bytes waiting. TakeNext waits
// for slot taken % window to be done, empties it and wakes the workers, one of which may
// now start entry taken + window. Every wait is on the one condition variable, and every
// change of the shared counters and slots is made under the one mutex. A failure is
// kept in the entry's slot and rethrown when that entry is taken, so the error reported
// is that of the first failing entry in record order, as with one thread.
#include "tools/sfx_pack/entry_pool.h"

#include <algorithm>

namespace sfxpack {

int DefaultJobs() {
  unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int>(std::min<unsigned>(n, kMaxJobs));
}

EntryPool::EntryPool(size_t count, int jobs, Make make)
    : count_(count),
      sure_(2 * static_cast<size_t>(std::max(jobs, 1))),
      window_(kPoolSlotsPerJob * static_cast<size_t>(std::max(jobs, 1))),
      make_(std::move(make)),
      slots_(window_) {
  int threads = static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(jobs, 1)), std::max<size_t>(count, 1)));
  workers_.reserve(threads);
  try {
    for (int i = 0; i < threads; ++i) workers_.emplace_back(&EntryPool::Work, this);
  } catch (...) {
    Stop();  // the destructor does not run for a constructor that throws
    throw;
  }
}

EntryPool::~EntryPool() { Stop(); }

void EntryPool::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_)
    if (worker.joinable()) worker.join();
}

bool EntryPool::MayStart() const {
  size_t inHand = next_ - taken_;
  return inHand < sure_ || (inHand < window_ && waiting_ < kPoolWaitingBudget);
}

void EntryPool::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || next_ >= count_ || MayStart(); });
    if (stopping_ || next_ >= count_) return;
    size_t index = next_++;
    lock.unlock();
    Slot made;
    try {
      made.entry = std::make_unique<PackEntry>(make_(index));
    } catch (...) {
      made.failure = std::current_exception();
    }
    made.done = true;
    size_t bytes = made.entry ? made.entry->data.size() : 0;
    lock.lock();
    waiting_ += bytes;
    slots_[index % window_] = std::move(made);
    changed_.notify_all();
  }
}

PackEntry EntryPool::TakeNext() {
  std::unique_lock<std::mutex> lock(mutex_);
  Slot& slot = slots_[taken_ % window_];
  changed_.wait(lock, [&] { return slot.done; });
  Slot made = std::move(slot);
  slot = Slot{};
  waiting_ -= made.entry ? made.entry->data.size() : 0;
  ++taken_;
  lock.unlock();
  changed_.notify_all();
  if (made.failure) std::rethrow_exception(made.failure);
  return std::move(*made.entry);
}

}  // namespace sfxpack
