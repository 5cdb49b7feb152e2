#pragma once
// One source of one download: a download address the service handed out (a
// server source) or the file server of another client on the local network
// (a LAN source). It runs at most one ranged GET at a time, keeps the bytes
// it can serve (its have-map) and a measured speed from which the size of
// its next request follows; every received chunk goes to the task's sink.
//
// Only what was asked for is written: a 206 answer, or a 200 (the file from
// its first byte) for a request that starts at byte 0; bytes past the
// requested range are dropped and the request is ended, so a source that
// sends too much can never overwrite other ranges or mark them done.
//
// Threads: the request callbacks run on the main thread; StartDownload and
// the scheduler's reads run on the task's thread under the task's
// source-list lock, which the callbacks do not take. Flags and counters are
// atomics; the have-map is read and replaced only under the source-list
// lock. A source must be destroyed on the main thread (or before any
// request started), because a callback may be running there.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "http/request/ASIHTTPRequestDelegate.h"
#include "transfer/download/DownloadSink.h"
#include "transfer/engine/PeerBase.h"
#include "transfer/ranges/DataLocator.h"

namespace nb {

class DownloadPeer : public PeerBase, public http::ASIHTTPRequestDelegate {
 public:
  // Speed estimate of a new source, bytes per second.
  static constexpr std::uint64_t kStartSpeed = 1024;
  // Chunks below this are replaced by kSmallestChunk.
  static constexpr std::uint64_t kMinChunk = 100;
  static constexpr std::uint64_t kSmallestChunk = 1024;
  // Seconds without data after which a running request is given up.
  static constexpr std::int64_t kIdleLimit = 30;
  // Failures in a row after which the source is bad.
  static constexpr std::int64_t kBadAfter = 3;
  static constexpr double kTimeOutSeconds = 60;

  // `have` is the have text ("a-b,c-d"); `udp` marks a LAN source.
  DownloadPeer(std::weak_ptr<DownloadSink> sink, std::string url, const std::string& have,
               std::uint64_t filesize, bool udp);
  ~DownloadPeer() override;

  // Replaces the have-map. Caller holds the source-list lock.
  void UpdateHaveData(const std::string& have);
  // The have-map; caller holds the source-list lock.
  const DataLocator& dlHave() const { return dlHave_; }

  // False once a running request has had no data for more than 30 s (or
  // its start lies in the future).
  bool IsRunOk() const;
  // The next range for this source out of `needed`: the lowest needed range
  // it holds, cut to the chunk its speed allows. False (and `out` untouched)
  // when it holds no needed byte. Caller holds the source-list lock.
  bool HaveDownload(const DataLocator& needed, DataPair& out) const;
  // Starts the ranged request for `size` bytes from `pos`; returns at once.
  void StartDownload(std::uint64_t pos, std::uint64_t size);
  // nBadNum + 1; bad from the third failure in a row on.
  void SetBad();

  bool bUdp() const { return bUdp_; }
  bool bHttpStart() const { return bHttpStart_.load(); }
  void setBHttpStart(bool v) { bHttpStart_.store(v); }
  bool bHttpAble() const { return bHttpAble_.load(); }
  void setBHttpAble(bool v) { bHttpAble_.store(v); }
  std::int64_t nUserId() const { return nUserId_.load(); }
  void setNUserId(std::int64_t v) { nUserId_.store(v); }
  std::uint64_t ullFilesize() const { return ullFilesize_; }
  std::uint64_t ullStart() const { return ullStart_.load(); }
  std::uint64_t ullSpeed() const { return ullSpeed_.load(); }
  void setUllSpeed(std::uint64_t v) { ullSpeed_.store(v); }
  std::int64_t nDownloadNum() const { return nDownloadNum_.load(); }
  void setNDownloadNum(std::int64_t v) { nDownloadNum_.store(v); }
  bool bUrlTimeOut() const { return bUrlTimeOut_.load(); }
  void setBUrlTimeOut(bool v) { bUrlTimeOut_.store(v); }
  // Whole seconds since 1970 of the last announcement; 0 for a server source.
  std::uint64_t ullUdpTime() const { return ullUdpTime_.load(); }
  void setUllUdpTime(std::uint64_t v) { ullUdpTime_.store(v); }

  // ASIHTTPRequestDelegate, main thread.
  bool respondsToSelector(std::string_view name) const override;
  void requestDidReceiveData(http::ASIHTTPRequest& request, const std::string& data) override;
  void requestFinished(http::ASIHTTPRequest& request) override;
  void requestFailed(http::ASIHTTPRequest& request) override;

 protected:
  // Builds and starts the GET of bytes first..last (inclusive). Tests
  // replace it to schedule without a network.
  virtual void startRequest(std::uint64_t first, std::uint64_t last);

 private:
  // Whether `request` is the one this source runs now: callbacks of a
  // request it already gave up on must not touch the running one.
  bool isCurrent(const http::ASIHTTPRequest& request) const;
  // Whether a 2xx status may carry the requested bytes.
  bool acceptsStatus(int status) const;
  // Ends the running request from inside a callback; the library then
  // reports it failed, which counts against this source.
  void abandon(http::ASIHTTPRequest& request);
  void countFailure();
  // The sink (the task) learns that this source's request ended.
  void tellSinkEnded() const;

  const std::weak_ptr<DownloadSink> sink_;
  const bool bUdp_;
  const std::uint64_t ullFilesize_;

  DataLocator dlHave_;  // guarded by the task's source-list lock

  std::atomic<bool> bHttpStart_{false};
  std::atomic<bool> bHttpAble_{false};
  std::atomic<std::int64_t> nUserId_{0};
  std::atomic<std::uint64_t> ullStart_{0};
  std::atomic<std::uint64_t> ullSpeed_{kStartSpeed};
  std::atomic<std::int64_t> ullSpeedStartMs_{0};  // monotonic milliseconds
  std::atomic<std::int64_t> nDownloadNum_{0};
  std::atomic<bool> bUrlTimeOut_{false};
  std::atomic<std::uint64_t> ullUdpTime_{0};
  // The request this source gave up on (main thread only; compared, never
  // dereferenced).
  std::atomic<const http::ASIHTTPRequest*> abandoned_{nullptr};
};

}  // namespace nb
