#pragma once
// One curl multi handle and the thread that owns it. The owning thread calls
// runOnce() in a loop; it waits in curl_multi_poll until a socket is ready, a
// transfer's time-out of curl is due, a status timer is due or another thread
// posted a task, and then runs, in this order: the posted tasks (FIFO), curl's
// transfers, the ends of finished transfers, the due status timers.
//
// A CURLM and the easy handles added to it are touched only by the owning
// thread; other threads reach them through post() and wakeup(), both safe
// from any thread. curl keeps the sockets of finished transfers in this
// multi handle's connection cache, so connections are reused only between
// transfers of the same driver.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using CURL = void;
using CURLM = void;

namespace nb::http {

// A transfer as the driver sees it: told when curl ended it, and ticked by
// its status timer. Called on the owning thread only, never inside curl.
class CurlTransferClient {
 public:
  virtual ~CurlTransferClient() = default;
  // curl ended the transfer with `result` (a CURLcode); the handle has
  // already left the multi handle.
  virtual void transferDone(int result) = 0;
  virtual void statusTick() = 0;
  // One curl_multi_perform pass ended: hand on what was gathered in it.
  // Runs before the ends of the pass's transfers are reported.
  virtual void performPassEnded() {}
};

class CurlDriver {
 public:
  using Task = std::function<void()>;

  // The calling thread becomes the owner.
  CurlDriver();
  ~CurlDriver();
  CurlDriver(const CurlDriver&) = delete;
  CurlDriver& operator=(const CurlDriver&) = delete;

  // The calling thread's own driver for synchronous requests, made on first
  // use and kept for the thread's life.
  static CurlDriver& forCurrentThread();

  bool isOwnerThread() const { return std::this_thread::get_id() == owner_; }

  // Any thread: queue `task` for the owning thread and wake it.
  void post(Task task);
  // Any thread: end the current or next wait of the owning thread.
  void wakeup();

  // Owner only. The driver keeps `client` alive while its handle is added.
  bool add(CURL* easy, std::shared_ptr<CurlTransferClient> client);
  // Owner only; nothing when the handle is not added.
  void remove(CURL* easy);
  bool contains(CURL* easy) const { return transfers_.count(easy) != 0; }

  // Owner only: a repeating timer of `interval` that ticks `client` (kept
  // alive while the timer exists). Setting it again restarts it.
  void setTimer(const std::shared_ptr<CurlTransferClient>& client,
                std::chrono::milliseconds interval);
  void clearTimer(const CurlTransferClient* client);

  // Owner only: waits at most `limit` and handles what became ready.
  void runOnce(std::chrono::milliseconds limit);

 private:
  struct Timer {
    std::shared_ptr<CurlTransferClient> client;
    std::chrono::milliseconds interval;
    std::chrono::steady_clock::time_point due;
  };

  void runTasks();
  void finishTransfers();
  void runDueTimers();
  std::chrono::milliseconds waitTime(std::chrono::milliseconds limit) const;

  const std::thread::id owner_;
  CURLM* multi_ = nullptr;
  std::map<CURL*, std::shared_ptr<CurlTransferClient>> transfers_;  // owner only
  std::vector<Timer> timers_;                                        // owner only

  std::mutex tasksMutex_;
  std::vector<Task> tasks_;  // guarded by tasksMutex_
};

}  // namespace nb::http
