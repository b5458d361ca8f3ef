// The ordered batch: results are taken in list order whatever the thread count, a unit in its turn runs on
// the taking thread once every result before it is taken, no two units run on one slot at once, and a take
// that says stop ends the run there.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "ZYNBatch.h"

namespace {

TEST(ZYNBatchTest, ResultsComeInListOrderAndUnitsInTheirTurnAfterAllBefore) {
  constexpr std::size_t kCount = 300, kStop = 250;
  std::vector<bool> inTurn(kCount, false);
  for (std::size_t k = 7; k < kCount; k += 13) inTurn[k] = true;
  // Also the first units, several in a row, and the last before the stop.
  for (const std::size_t k : {0, 1, 100, 101, 102, 250}) inTurn[k] = true;
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
    EXPECT_FALSE(ZYNBatch::ForEachInOrder(kCount, threads, run, take, {inTurn}));
    ASSERT_EQ(order.size(), kStop + 1);
    for (std::size_t k = 0; k <= kStop; ++k) EXPECT_EQ(order[k], k);
  }
}

// A nest's first class does the work of its later ones, whose units are light: while the first runs, another
// thread goes past them to the units after, as it would past nothing. Unit 0 waits for unit 6 to start,
// which a window of four units that counted the five light ones would never let happen.
TEST(ZYNBatchTest, LightUnitsTakeNoRoomInTheWindow) {
  constexpr std::size_t kCount = 12;
  std::vector<bool> light(kCount, false);
  for (std::size_t k = 1; k <= 5; ++k) light[k] = true;
  std::mutex mutex;
  std::condition_variable started;
  bool sixStarted = false;
  auto run = [&](std::size_t k, unsigned) {
    std::unique_lock lock(mutex);
    if (k == 6) {
      sixStarted = true;
      started.notify_all();
    }
    if (k == 0) return started.wait_for(lock, std::chrono::seconds(10), [&] { return sixStarted; });
    return true;
  };
  std::vector<bool> results;
  auto take = [&](std::size_t, bool result) {
    results.push_back(result);
    return true;
  };
  EXPECT_TRUE(ZYNBatch::ForEachInOrder(kCount, 2, run, take, {.light = light}));
  ASSERT_EQ(results.size(), kCount);
  EXPECT_TRUE(results[0]) << "unit 6 did not start while unit 0 ran";
}

// Units of known size start beyond the window of four (two threads) while their bytes ahead stay within the
// bound: with unit 0 running, units 1 to 4 (50 bytes ahead with unit 0's) may start, unit 5 may not.
TEST(ZYNBatchTest, SizedUnitsGoBeyondTheWindowWithinTheirBytes) {
  constexpr std::size_t kCount = 20;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<bool> started(kCount, false);
  auto run = [&](std::size_t k, unsigned) {
    std::unique_lock lock(mutex);
    started[k] = true;
    changed.notify_all();
    if (k != 0) return true;
    const bool fourStarted = changed.wait_for(lock, std::chrono::seconds(10), [&] { return started[4]; });
    changed.wait_for(lock, std::chrono::milliseconds(100), [&] { return started[5]; });
    return fourStarted && !started[5];
  };
  ZYNBatch::tInOrder<bool> units(kCount, 2, run, {.beyond = {std::vector<std::uint64_t>(kCount, 10), 8, 50}});
  EXPECT_TRUE(units.Next()) << "unit 4 did not start beyond the window, or unit 5 started beyond its bytes";
  for (std::size_t k = 1; k < kCount; ++k) EXPECT_TRUE(units.Next());
}

}  // namespace
