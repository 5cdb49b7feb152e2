#pragma once
// One remote end of a transfer: a download source or an upload session. It
// runs at most one request at a time and counts its failures; the subclass
// gives the protocol. The owning task holds its sources in its source list
// and drops them when it ends.
//
// Thread-safety: the flags and counters are atomics; pRequest is guarded by
// the source's own lock. Stop may come from any thread while the task's
// thread or the main thread works with the request.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace nb::http {
class ASIHTTPRequest;
}

namespace nb {

class TransferTask;

class PeerBase {
 public:
  // `task` is the owning task: not owned, outlives the source.
  PeerBase(TransferTask* task, std::string url) : pTask_(task), strUrl_(std::move(url)) {}
  virtual ~PeerBase();
  PeerBase(const PeerBase&) = delete;
  PeerBase& operator=(const PeerBase&) = delete;

  // bStop := true, bDelete := deleting; the running request is cancelled,
  // its delegate cleared and the request dropped. bStart is left as it is.
  virtual void Stop(bool deleting);
  bool IsIdle() const { return !bStart_.load(); }

  TransferTask* pTask() const { return pTask_; }
  std::string strUrl() const;
  void setStrUrl(std::string url);

  // The running or last request; null after a stop.
  std::shared_ptr<http::ASIHTTPRequest> pRequest() const;
  void setPRequest(std::shared_ptr<http::ASIHTTPRequest> request);

  bool bStart() const { return bStart_.load(); }
  void setBStart(bool value) { bStart_.store(value); }
  bool bStop() const { return bStop_.load(); }
  void setBStop(bool value) { bStop_.store(value); }
  bool bDelete() const { return bDelete_.load(); }
  bool bBad() const { return bBad_.load(); }
  void setBBad(bool value) { bBad_.store(value); }
  std::int64_t nBadNum() const { return nBadNum_.load(); }
  void setNBadNum(std::int64_t value) { nBadNum_.store(value); }
  std::uint64_t ullPos() const { return ullPos_.load(); }
  void setUllPos(std::uint64_t value) { ullPos_.store(value); }
  std::uint64_t ullSize() const { return ullSize_.load(); }
  void setUllSize(std::uint64_t value) { ullSize_.store(value); }
  // Whole seconds since 1970; 0 = never started.
  std::uint64_t ullStartTime() const { return ullStartTime_.load(); }
  void setUllStartTime(std::uint64_t value) { ullStartTime_.store(value); }
  std::uint64_t ullBadTime() const { return ullBadTime_.load(); }
  void setUllBadTime(std::uint64_t value) { ullBadTime_.store(value); }
  std::uint64_t ullEnd() const { return ullEnd_.load(); }
  void setUllEnd(std::uint64_t value) { ullEnd_.store(value); }

 private:
  TransferTask* const pTask_;

  mutable std::mutex mutex_;
  std::string strUrl_;                              // guarded by mutex_
  std::shared_ptr<http::ASIHTTPRequest> pRequest_;  // guarded by mutex_

  std::atomic<bool> bStart_{false};
  std::atomic<bool> bStop_{false};
  std::atomic<bool> bDelete_{false};
  std::atomic<bool> bBad_{false};
  std::atomic<std::int64_t> nBadNum_{0};
  std::atomic<std::uint64_t> ullPos_{0};
  std::atomic<std::uint64_t> ullSize_{0};
  std::atomic<std::uint64_t> ullStartTime_{0};
  std::atomic<std::uint64_t> ullBadTime_{0};
  std::atomic<std::uint64_t> ullEnd_{0};
};

}  // namespace nb
