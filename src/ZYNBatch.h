// The one place that decides order: units of work (files, archive entries) run on several threads, their
// results taken in list order.
#pragma once
#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "Platform.h"

namespace ZYNBatch {

// Runs the units of a list on several threads and hands their results over in list order. A unit starts
// only when the results ahead of it have room in the window, and only after the unit it must follow (if
// any) has been committed, so every unit sees what a one-at-a-time run would show it. The thread that takes
// the results works on units too while it waits.
template <class Result, class Scratch = Platform::FileBuffer>
class Batch {
public:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  // Runs unit k with buffers of the thread's own (a read buffer, say), kept from unit to unit.
  using tRun = std::function<Result(std::size_t k, Scratch& scratch)>;

  // after[k]: the earlier unit that must be committed before unit k starts, or kNone (no entries: none).
  // `lag`: how many units the taker may hold back from committing, which the window allows for.
  Batch(std::size_t count, unsigned threads, tRun run, std::vector<std::size_t> after = {}, std::size_t lag = 0)
      : run_(std::move(run)), count_(count), results_(count), after_(std::move(after)), window_(2 * threads + lag) {
    if (after_.empty()) after_.assign(count, kNone);
    // No more threads than units; where the system cannot start one, the threads started do the work.
    for (std::size_t i = 1; i < std::min<std::size_t>(threads, count); ++i) {
      try {
        workers_.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        break;
      } catch (const std::bad_alloc&) {
        break;
      }
    }
  }

  ~Batch() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    room_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

  // The result of unit k, running other units while it is not there yet.
  Result Take(std::size_t k) {
    std::unique_lock lock(mutex_);
    while (!results_[k].has_value()) {
      if (MayStart(next_)) {
        RunNext(lock, buffer_);
        continue;
      }
      awaited_ = k;
      ready_.wait(lock, [&] { return results_[k].has_value() || MayStart(next_); });
      awaited_ = kNone;
    }
    Result result = std::move(*results_[k]);
    results_[k].reset();
    return result;
  }

  // Unit k is committed (or failed): the units waiting for it may start.
  void Committed(std::size_t k) {
    {
      std::lock_guard lock(mutex_);
      committed_ = k + 1;
    }
    // The window moved by one unit: one thread can go on (and wakes the next if more can).
    room_.notify_one();
  }

private:
  bool MayStart(std::size_t k) const {
    return k < count_ && k < committed_ + window_ && (after_[k] == kNone || after_[k] < committed_);
  }

  // Runs the next unit with the lock released.
  void RunNext(std::unique_lock<std::mutex>& lock, Scratch& buffer) {
    const std::size_t k = next_++;
    if (MayStart(next_)) room_.notify_one();
    lock.unlock();
    Result result = run_(k, buffer);
    lock.lock();
    results_[k] = std::move(result);
    if (awaited_ == k) ready_.notify_one();
  }

  void Work() {
    Scratch buffer;
    std::unique_lock lock(mutex_);
    for (;;) {
      room_.wait(lock, [&] { return stop_ || next_ >= count_ || MayStart(next_); });
      if (stop_ || next_ >= count_) return;
      RunNext(lock, buffer);
    }
  }

  const tRun run_;
  const std::size_t count_;
  std::vector<std::optional<Result>> results_;
  std::vector<std::size_t> after_;
  const std::size_t window_;
  std::size_t next_ = 0;         // the next unit to start
  std::size_t committed_ = 0;    // units committed so far, in list order
  std::size_t awaited_ = kNone;  // the unit whose result the taking thread sleeps for
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable ready_;  // a result the taking thread waits for is there
  std::condition_variable room_;   // the window moved on
  Scratch buffer_;  // the taking thread's buffers
  std::vector<std::thread> workers_;
};

// Memory that the units of a run share, whatever thread runs them: a unit takes room before it holds the
// bytes and gives it back after, so that the run's peak does not grow with its threads.
class tBudget {
public:
  explicit tBudget(std::uint64_t capacity) : capacity_(capacity) {}
  tBudget(const tBudget&) = delete;
  tBudget& operator=(const tBudget&) = delete;
  std::uint64_t Capacity() const { return capacity_; }

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

}  // namespace ZYNBatch
