// The ordered batch: results are taken in list order whatever the thread count, a unit in its turn runs on
// the taking thread once every result before it is taken, no two units run on one slot at once, and a take
// that says stop ends the run there.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ZYNBatch.h"

namespace {

TEST(ZYNBatchTest, ResultsComeInListOrderAndUnitsInTheirTurnAfterAllBefore) {
  constexpr std::size_t kCount = 300, kStop = 250;
  std::vector<bool> inTurn(kCount, false);
  for (std::size_t k = 7; k < kCount; k += 13) inTurn[k] = true;
  for (const unsigned threads : {1u, 3u, 8u}) {
    SCOPED_TRACE(threads);
    const std::thread::id taker = std::this_thread::get_id();
    std::atomic<std::size_t> taken{0};
    std::vector<std::atomic<int>> running(threads);
    std::vector<std::size_t> order;
    auto run = [&](std::size_t k, unsigned slot) {
      EXPECT_LT(slot, threads);
      if (slot >= threads) return k;
      EXPECT_EQ(running[slot]++, 0) << "slot " << slot;
      // A unit starts within the window: at most two per thread beyond what is taken.
      EXPECT_LE(k, taken.load() + 2 * threads);
      if (inTurn[k]) {
        EXPECT_EQ(std::this_thread::get_id(), taker) << k;
        EXPECT_EQ(taken.load(), k);
      }
      --running[slot];
      return k * 3;
    };
    auto take = [&](std::size_t k, std::size_t result) {
      EXPECT_EQ(result, k * 3);
      order.push_back(k);
      taken = k + 1;
      return k != kStop;
    };
    EXPECT_FALSE(ZYNBatch::ForEachInOrder(kCount, threads, run, take, inTurn));
    ASSERT_EQ(order.size(), kStop + 1);
    for (std::size_t k = 0; k <= kStop; ++k) EXPECT_EQ(order[k], k);
  }
}

}  // namespace
