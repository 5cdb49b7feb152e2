#pragma once
// The timing of the sync centre's coordinator: one pass a second that, in
// a fixed order, retries deferred renames (every 2 s, stamped only when a
// started manager was met), trims the content cache (1800 s after the
// loop began, then every 1800 s), backs up the catalogue and transfer
// stores (when the catalogue's last backup is more than 1800 s of wall
// time old), refreshes the catalogue (every 3600 s with the push channel
// up, 60 s down, or on request) and starts compare cycles (60 s after the
// queue drained, or on request).
//
// The work of each step is the CoordinatorSteps' business; this class only
// decides what is due, so its order and intervals can be tested on a
// manual clock. Times are the injectable clock's (AbsoluteTime.h). Used by
// one thread at a time.

#include <chrono>
#include <optional>

namespace nb {

namespace platform {
class StoppableThread;
}

// What a pass does at each step. Implemented by the sync centre; tests may
// record the calls.
class CoordinatorSteps {
 public:
  virtual ~CoordinatorSteps() = default;

  // Before the first pass (the delay list from the catalogue).
  virtual void prepare() = 0;
  // Sign-out in progress: the loop ends at its next test.
  virtual bool bOut() = 0;
  virtual bool bSocketIO() = 0;
  virtual bool bRegetServer() = 0;
  virtual bool bCompareNow() = 0;

  // Deferred renames of every started manager, each under its lock.
  // Answers whether a started manager was met.
  virtual bool retryRenames() = 0;
  virtual void trimCache() = 0;
  // Wall-clock seconds since 1970 of the catalogue store's last backup; 0
  // when never.
  virtual double catalogueBackupTime() = 0;
  virtual void backupStores() = 0;
  // The catalogue refresh; -1 when a sign-out was seen during it, which
  // ends the loop at once.
  virtual int refreshCatalogue() = 0;
  // What follows a refresh that did not end the loop (launchpad, load
  // notice, compare gating restarted, the refresh request cleared).
  virtual void afterRefresh() = 0;
  virtual bool compareQueueEmpty() = 0;
  // Queues a pass for every idle manager and clears the cycle request.
  virtual void startCycle() = 0;
};

class CoordinatorLoop {
 public:
  static constexpr double kRenameInterval = 2.0;
  static constexpr double kTrimInterval = 1800.0;
  static constexpr double kBackupInterval = 1800.0;
  static constexpr double kRefreshIntervalPushUp = 3600.0;
  static constexpr double kRefreshIntervalPushDown = 60.0;
  static constexpr double kIdleCycleInterval = 60.0;
  static constexpr std::chrono::seconds kPassInterval{1};

  // How a pass ended.
  enum class PassEnd {
    kSleep,  // the normal end: sleep a second
    kAgain,  // an exception ended it: the next pass comes without the sleep
    kStop,   // a refresh saw a sign-out: the loop ends without the sleep
  };

  explicit CoordinatorLoop(CoordinatorSteps& steps) : steps_(steps) {}
  CoordinatorLoop(const CoordinatorLoop&) = delete;
  CoordinatorLoop& operator=(const CoordinatorLoop&) = delete;

  // Before the first pass: stamps the trim, prepares. False when the loop
  // must end at once (bOut already set).
  bool begin();
  // One pass. An exception escaping a step ends the pass and is dropped.
  PassEnd pass();
  // begin(), then passes with their sleeps until bOut, a stop of `thread`
  // or a refresh's sign-out.
  void run(platform::StoppableThread& thread);

 private:
  PassEnd steps(double now);
  void renames(double now);
  void trim(double now);
  void backups();
  bool refreshDue(double now, bool socketIO);
  void cycle(double now);

  CoordinatorSteps& steps_;
  // "Never" is kept apart from 0: a test clock may read less than an
  // interval, and a step that never ran is due at once.
  std::optional<double> lastRename_;
  std::optional<double> lastRefresh_;
  std::optional<double> drained_;
  double lastTrim_ = 0.0;
  bool cycleStarted_ = false;
};

}  // namespace nb
