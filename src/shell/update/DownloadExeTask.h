#pragma once
// The download and install of one offered program archive: an operation of
// the application's task queue that holds its slot for the whole download.
// The body arrives through the HTTP request library on the main thread and
// is appended to "<archive>.tmp"; a complete archive of exactly the
// announced size is renamed to the archive path and installed over the
// program folder (see ProgramInstall.h).
//
// Only an https address is fetched, with the deployment's certificate
// rules; any other address fails at once.
//
// Threads: main() on a task-queue thread; the request delegate calls and
// the install on the main thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "http/request/ASIHTTPRequestDelegate.h"
#include "platform/Clock.h"
#include "platform/Operation.h"

namespace nb::http {
class ASIHTTPRequest;
}

namespace nb::update {

class DownloadExeTask final : public platform::Operation, public http::ASIHTTPRequestDelegate {
 public:
  // `url` of the archive, `savepath` of the archive file, the announced
  // `size` in bytes. `done` runs once, on the main thread, when the task
  // ended whatever the outcome (may be null).
  DownloadExeTask(std::string url, std::string savepath, std::int64_t size,
                  std::function<void()> done = {});
  ~DownloadExeTask() override;

  void main() override;
  // Unpacks the archive over the program folder and reports the outcome
  // to the pages. Main thread.
  void updateAppByServerZip();

  bool respondsToSelector(std::string_view name) const override;
  void requestDidReceiveData(http::ASIHTTPRequest& request, const std::string& data) override;
  void requestFinished(http::ASIHTTPRequest& request) override;
  void requestFailed(http::ASIHTTPRequest& request) override;

  // Bytes written to the temporary file so far.
  std::int64_t nDownloadSize() const { return nDownloadSize_; }

 private:
  std::string tempPath() const { return savepath_ + ".tmp"; }
  bool openTemporaryFile();
  void closeTemporaryFile();
  // The download failed: {"error":1} to the update window in ask-first
  // deployments only.
  void reportFailure() const;
  void end();

  // Constant after construction.
  const std::string url_;
  const std::string savepath_;
  const std::int64_t size_;
  const std::function<void()> done_;

  // Main thread only once the request started.
  std::shared_ptr<http::ASIHTTPRequest> pRequest_;
  std::FILE* pFileHandle_ = nullptr;  // owned; closed by closeTemporaryFile
  std::atomic<std::int64_t> nDownloadSize_{0};
  bool progressSent_ = false;
  platform::Clock::Monotonic ftSpeedTime_{};
  std::int64_t nProgress_ = 0;

  std::mutex mutex_;
  std::condition_variable finished_;
  bool bOut_ = false;  // guarded by mutex_
};

}  // namespace nb::update
