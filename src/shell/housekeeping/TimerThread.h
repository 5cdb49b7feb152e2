#pragma once
// The housekeeping loop, started once at launch: about once a second it
// samples the transfer engine's counts into the application state, tells
// the main page when transfers start and stop running, blocks idle sleep
// while transfers are pending on mains power, unpacks a waiting web UI
// package, and purges the transfer cache once every transfer has ended;
// once an hour (and at once when the sync centre asks) it queues the
// update checks and refreshes the hot files.
//
// Time comes from platform::Clock::current(), so tests drive the loop with
// a manual clock. Threads: the loop runs on its own thread; the
// constructor and destructor on the owner's (the destructor stops and
// joins the loop, so it must not run on a thread a pass may wait for).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

#include "foundation/app/PageEvent.h"
#include "platform/Clock.h"
#include "platform/PowerManagement.h"
#include "platform/StoppableThread.h"
#include "shell/app/AppDelegate.h"

namespace nb {

class TimerThread {
 public:
  // What a pass reads and does outside the application state. Each unset
  // member takes the real one: the shared transfer engine, the session's
  // transfer-cache folder, the hot-file call, the web UI unpacking, the
  // main window and the desktop's power management.
  struct Sources {
    std::function<std::int64_t()> GetTransCount;       // tasks running now
    std::function<std::int64_t()> nDownloadCount;      // unfinished downloads
    std::function<std::int64_t()> nUploadCount;        // unfinished uploads
    // Unfinished downloads including hot-file prefetches.
    std::function<std::int64_t()> nDownloadRealCount;
    std::function<std::string()> transferCache;        // "" while there is none
    std::function<bool()> timehotfile;                 // true when refreshed
    std::function<void()> updateUI;                    // unpack the waiting UI package
    std::function<void(const PageEvent&)> sendToMain;  // without waiting
    std::shared_ptr<platform::PowerManagement> power;
  };

  // Starts the loop. `app` must outlive it.
  TimerThread(AppDelegate& app, Sources sources = {});
  ~TimerThread();
  TimerThread(const TimerThread&) = delete;
  TimerThread& operator=(const TimerThread&) = delete;

  // Passes completed so far (tests wait on it).
  std::uint64_t passes() const { return passes_; }
  // Whether the block on idle sleep is held now.
  bool dormancyDisabled() const { return dormancyDisabled_; }

  // Deletes the entries of the transfer-cache folder `folder`, in listing
  // order, for at most 15 s; finished downloads (names holding "_ok") stay.
  static void timeremovefile(const std::string& folder);
  // Replaces the stored hot files with the service's list; false (and the
  // list kept) when the call fails.
  static bool timehotfile();

 private:
  struct Marks {
    platform::Clock::Monotonic t1, t2, t3, t4;
  };
  void run(platform::StoppableThread& thread);
  void pass(Marks& marks, std::stop_token stop);
  // Unpacks a waiting web UI package unless the program is active.
  void updateUI(std::stop_token stop);
  void sampleRunning();
  void sampleTotals();
  // The block is wanted while transfers are pending on mains power.
  bool checkCanDisabledDormancy();
  void setDisabledDormancy(bool disable);

  AppDelegate& app_;
  const Sources sources_;

  // Loop thread only.
  std::int64_t previousRunning_ = 0;
  std::int64_t previousTotal_ = 0;
  bool purgeDue_ = false;
  std::unique_ptr<platform::IdleSleepBlock> idleSleepAssertion_;

  std::atomic<bool> dormancyDisabled_{false};
  std::atomic<std::uint64_t> passes_{0};
  // Last: the loop reads everything above until it is joined.
  std::unique_ptr<platform::StoppableThread> thread_;
};

}  // namespace nb
