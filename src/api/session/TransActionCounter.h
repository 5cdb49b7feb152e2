#pragma once
// The transfer engine's counter of bulk additions: jobs that add many records
// to the transfer store raise it for their length, and the dispatch loops of
// the engine pause while it is not 0.

#include <atomic>
#include <cstdint>

namespace nb {

class TransActionCounter {
 public:
  // The process-wide counter.
  static TransActionCounter& shared();

  // Raise and lower the counter; it never goes below 0. Thread-safe.
  void AddTransAction();
  void DelTransAction();

  // Back to 0, as a new session starts; scopes still open then end without
  // taking it below 0.
  void reset() { count_.store(0); }

  // True while some bulk addition runs.
  bool busy() const { return count_.load() != 0; }
  std::int64_t count() const { return count_.load(); }

 private:
  std::atomic<std::int64_t> count_{0};
};

// Brackets one bulk addition: raises the counter now, lowers it on leaving.
class TransActionScope {
 public:
  explicit TransActionScope(TransActionCounter& counter = TransActionCounter::shared())
      : counter_(counter) {
    counter_.AddTransAction();
  }
  ~TransActionScope() { counter_.DelTransAction(); }
  TransActionScope(const TransActionScope&) = delete;
  TransActionScope& operator=(const TransActionScope&) = delete;

 private:
  TransActionCounter& counter_;
};

}  // namespace nb
