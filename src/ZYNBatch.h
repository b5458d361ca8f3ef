// The one place that decides order: units of work (files, archive entries) run on several threads, their
// results taken in list order.
// Uses: nothing else of ours.
#pragma once
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

namespace ZYNBatch {

// Runs the units of a list on several threads and hands their results over in list order to the thread that
// made it, which works on units too while it waits. A unit starts only when the results ahead of it that are
// not taken yet leave room in a window of two per thread (and `ahead` more); a light unit (one whose work an
// earlier unit did: a later class of a nest) starts at any time and takes no room. Units whose sizes are known
// may also start beyond the window while their bytes ahead stay within a bound: a long unit on one thread
// then does not leave the others without work after a few short ones. A unit that must run in its turn (it
// reads what an earlier one writes) is left to the taking thread, which runs it once every result before it
// is taken.
// How far units may start beyond the window by their sizes: sizes[k] is unit k's, and up to `units` more
// start while the sizes of those started and not taken add up to at most `bytes`.
struct tBeyond {
  std::vector<std::uint64_t> sizes;
  std::size_t units = 0;
  std::uint64_t bytes = 0;
};

// How the units are scheduled beyond their order: inTurn[k]: unit k runs in its turn; `ahead` more units may
// start beyond the window; light[k]: unit k is light (no entries: none is); and by their sizes.
struct tSchedule {
  std::vector<bool> inTurn{};
  std::size_t ahead = 0;
  std::vector<bool> light{};
  tBeyond beyond{};
};

template <class Result>
class tInOrder {
public:
  // Runs unit k; `slot`, below the thread count, is the running thread's own (the taking thread's is 0), so
  // that a caller can keep buffers per thread from unit to unit (not thread_local: a thread's destructor list
  // needs memory that may not be there).
  using tRun = std::function<Result(std::size_t k, unsigned slot)>;

  tInOrder(std::size_t count, unsigned threads, tRun run, tSchedule schedule = {})
      : run_(std::move(run)), count_(count), results_(count), inTurn_(std::move(schedule.inTurn)),
        light_(std::move(schedule.light)), window_(2 * std::size_t{std::max(threads, 1u)} + schedule.ahead),
        beyond_(std::move(schedule.beyond)) {
    beyond_.sizes.resize(count, 0);
    inTurn_.resize(count, false);
    light_.resize(count, false);
    for (std::size_t k = 0; k < count; ++k) {
      light_[k] = light_[k] && !inTurn_[k];
      if (inTurn_[k]) beyond_.sizes[k] = 0;  // the taking thread runs it: never ahead
    }
    SkipInTurn();
    // No more threads than units; where the system cannot start one, the threads started do the work.
    for (unsigned slot = 1; slot < std::min<std::size_t>(threads, count); ++slot) {
      try {
        workers_.emplace_back([this, slot] { Work(slot); });
      } catch (const std::system_error&) {
        break;
      } catch (const std::bad_alloc&) {
        break;
      }
    }
  }

  ~tInOrder() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    room_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

  tInOrder(const tInOrder&) = delete;
  tInOrder& operator=(const tInOrder&) = delete;

  // The result of the next unit in list order, running other units while it is not there yet.
  Result Next() {
    std::unique_lock lock(mutex_);
    const std::size_t k = taken_;
    if (inTurn_[k]) {
      Taken(lock);
      return run_(k, 0);
    }
    while (!results_[k].has_value()) {
      if (MayStart()) {
        RunNext(lock, 0);
        continue;
      }
      awaited_ = k;
      ready_.wait(lock, [&] { return results_[k].has_value() || MayStart(); });
      awaited_ = kNone;
    }
    Result result = std::move(*results_[k]);
    results_[k].reset();
    Taken(lock);
    return result;
  }

private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  bool MayStart() const {
    if (next_ >= count_) return false;
    const std::size_t ahead = next_ - taken_ - lightAhead_;
    return light_[next_] || ahead < window_ ||
           (ahead < window_ + beyond_.units && bytesAhead_ + beyond_.sizes[next_] <= beyond_.bytes);
  }

  void SkipInTurn() {
    while (next_ < count_ && inTurn_[next_]) ++next_;
  }

  // The window moved by one unit: one thread can go on (and wakes the next if more can).
  void Taken(std::unique_lock<std::mutex>& lock) {
    if (light_[taken_]) --lightAhead_;
    bytesAhead_ -= beyond_.sizes[taken_];
    ++taken_;
    lock.unlock();
    room_.notify_one();
  }

  // Runs the next unit with the lock released.
  void RunNext(std::unique_lock<std::mutex>& lock, unsigned slot) {
    const std::size_t k = next_++;
    if (light_[k]) ++lightAhead_;
    bytesAhead_ += beyond_.sizes[k];
    SkipInTurn();
    if (MayStart()) room_.notify_one();
    lock.unlock();
    Result result = run_(k, slot);
    lock.lock();
    results_[k] = std::move(result);
    if (awaited_ == k) ready_.notify_one();
  }

  void Work(unsigned slot) {
    std::unique_lock lock(mutex_);
    for (;;) {
      room_.wait(lock, [&] { return stop_ || next_ >= count_ || MayStart(); });
      if (stop_ || next_ >= count_) return;
      RunNext(lock, slot);
    }
  }

  const tRun run_;
  const std::size_t count_;
  std::vector<std::optional<Result>> results_;
  std::vector<bool> inTurn_;
  std::vector<bool> light_;
  const std::size_t window_;
  std::size_t lightAhead_ = 0;  // light units started and not taken
  tBeyond beyond_;
  std::uint64_t bytesAhead_ = 0;  // the sizes of the units started and not taken
  std::size_t next_ = 0;         // the next unit to start
  std::size_t taken_ = 0;        // results taken so far, in list order
  std::size_t awaited_ = kNone;  // the unit whose result the taking thread sleeps for
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable ready_;  // a result the taking thread waits for is there
  std::condition_variable room_;   // the window moved on
  std::vector<std::thread> workers_;
};

// Runs run(k, slot) for the units 0 to count - 1 on `threads` threads and hands each result to take(k, result)
// in list order on this thread (tInOrder); a take that returns false ends the run there. False when one did.
template <class Run, class Take>
bool ForEachInOrder(std::size_t count, unsigned threads, Run run, Take take, tSchedule schedule = {}) {
  using tResult = std::invoke_result_t<Run&, std::size_t, unsigned>;
  tInOrder<tResult> units(count, threads, std::move(run), std::move(schedule));
  for (std::size_t k = 0; k < count; ++k)
    if (!take(k, units.Next())) return false;
  return true;
}

// Memory that the units of a run share, whatever thread runs them: a unit takes room before it holds the
// bytes and gives it back after, so that the run's peak does not grow with its threads.
class tBudget {
public:
  explicit tBudget(std::uint64_t capacity) : capacity_(capacity) {}
  tBudget(const tBudget&) = delete;
  tBudget& operator=(const tBudget&) = delete;

  enum tGot {
    kGot,    // the room is the share's
    kAlone,  // with what the share holds, more than the whole budget
    kBusy,   // others hold the room: give everything back and ask again for all of it
  };

  // One holder's room, given back when it is destroyed.
  class tShare {
  public:
    explicit tShare(tBudget& budget) : budget_(budget) {}
    ~tShare() { Release(); }
    tShare(const tShare&) = delete;
    tShare& operator=(const tShare&) = delete;

    // Takes n bytes more. A share that holds nothing waits, in turn, for others to give room back; one that
    // holds some does not (two holders could wait for each other for ever): kBusy.
    tGot Add(std::uint64_t n) {
      if (n > budget_.capacity_ - held_) return kAlone;
      std::unique_lock lock(budget_.mutex_);
      if (held_ > 0) {
        if (n > budget_.capacity_ - budget_.used_) return kBusy;
      } else {
        const std::uint64_t ticket = budget_.tickets_++;
        budget_.freed_.wait(lock, [&] { return ticket == budget_.serving_ && n <= budget_.capacity_ - budget_.used_; });
        ++budget_.serving_;
        budget_.freed_.notify_all();  // the next in turn may fit too
      }
      budget_.used_ += n;
      held_ += n;
      return kGot;
    }

    void Release() {
      if (held_ == 0) return;
      {
        std::lock_guard lock(budget_.mutex_);
        budget_.used_ -= held_;
      }
      held_ = 0;
      budget_.freed_.notify_all();
    }

    std::uint64_t Held() const { return held_; }

  private:
    tBudget& budget_;
    std::uint64_t held_ = 0;
  };

private:
  const std::uint64_t capacity_;
  std::uint64_t used_ = 0;
  std::uint64_t tickets_ = 0, serving_ = 0;  // shares that wait are served in the order they came
  std::mutex mutex_;
  std::condition_variable freed_;
};

// Input that a first reading keeps for a later one (the names pass's bytes for the core), so that each class
// is read once while the run holds no more than the capacity; what does not fit is read again.
class tHeld {
public:
  explicit tHeld(std::uint64_t capacity) : capacity_(capacity) {}
  tHeld(const tHeld&) = delete;
  tHeld& operator=(const tHeld&) = delete;

  // Room for n bytes more, if there is; never waits.
  bool TryTake(std::uint64_t n) {
    std::uint64_t used = used_.load(std::memory_order_relaxed);
    do {
      if (n > capacity_ - used) return false;
    } while (!used_.compare_exchange_weak(used, used + n, std::memory_order_relaxed));
    return true;
  }
  void Give(std::uint64_t n) { used_.fetch_sub(n, std::memory_order_relaxed); }
  std::uint64_t Used() const { return used_.load(std::memory_order_relaxed); }

private:
  const std::uint64_t capacity_;
  std::atomic<std::uint64_t> used_{0};
};

}  // namespace ZYNBatch
