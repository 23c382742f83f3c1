// The worker pool: entries in order whatever the threads, failures at their own entry,
// and small entries made while a large one is still being compressed, within the bounds.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "tools/sfx_pack/entry_pool.h"

namespace sfxpack {
namespace {

// Entry 0 finishes only once `waitFor` later entries were started (or after two
// seconds): a pool that makes no entry past 2 × jobs while the first is not taken keeps
// it waiting, and so must one whose waiting entries have used up the byte budget
// (`heldBack`). Every other entry carries `size` bytes of data. Entry `fails` throws.
struct Case {
  const char* name;
  int jobs;
  size_t count;
  size_t size;
  size_t waitFor;
  size_t fails;
  bool heldBack = false;
} const kCases[] = {
    {"OneThread", 1, 40, 10, 0, 99},
    {"SmallFilesBehindALargeOne", 2, 300, 1000, 40, 999},
    {"ManyThreads", 8, 600, 100 << 10, 100, 999},
    // Four 16 MiB entries use up the 64 MiB budget: the eighth is never started in time.
    {"TheBudgetHoldsLargeOnesBack", 2, 24, 16 << 20, 7, 999, true},
    {"AFailureAtItsOwnEntry", 4, 100, 10, 0, 37},
};

TEST(EntryPoolTest, InOrderWithinBounds) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::atomic<size_t> started{0}, taken{0}, mostInHand{0}, waiting{0}, mostWaiting{0};
    bool firstWaited = true;
    {
      EntryPool pool(c.count, c.jobs, [&](size_t i) {
        size_t inHand = ++started - taken;
        for (size_t m = mostInHand; inHand > m && !mostInHand.compare_exchange_weak(m, inHand);) {}
        if (i == 0) {
          auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
          while (started <= c.waitFor && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          firstWaited = started > c.waitFor;
        }
        if (i == c.fails) throw std::runtime_error("entry " + std::to_string(i));
        PackEntry entry;
        entry.name = std::to_string(i);
        entry.data.resize(i == 0 ? 1 : c.size);
        size_t bytes = waiting += entry.data.size();
        for (size_t m = mostWaiting; bytes > m && !mostWaiting.compare_exchange_weak(m, bytes);) {}
        return entry;
      });
      for (size_t i = 0; i < c.count; ++i) {
        if (i == c.fails) {
          EXPECT_THROW(pool.TakeNext(), std::runtime_error);
          break;
        }
        PackEntry entry = pool.TakeNext();
        EXPECT_EQ(entry.name, std::to_string(i));
        waiting -= entry.data.size();
        ++taken;
      }
    }
    EXPECT_EQ(firstWaited, !c.heldBack) << "entries made while the first was in hand, against the bounds";
    // The counts here lag the pool's own by the entry being taken: one more is allowed.
    size_t sure = 2 * static_cast<size_t>(c.jobs);
    EXPECT_LE(mostInHand, kPoolSlotsPerJob * c.jobs + 1);
    EXPECT_LE(mostWaiting, std::max(kPoolWaitingBudget + c.jobs * c.size, (sure + 1) * c.size));
  }
}

}  // namespace
}  // namespace sfxpack
