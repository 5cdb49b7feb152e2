#include "shell/update/DownloadExeTask.h"

#include <fmt/format.h>

#include <system_error>

#include "api/calls/TransportSettings.h"
#include "foundation/app/AppState.h"
#include "foundation/util/UtilFiles.h"
#include "http/request/ASIHTTPRequest.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/app/AppDelegate.h"
#include "shell/update/ProgramInstall.h"
#include "shell/update/SelfUpdate.h"
#include "shell/update/UpdatePages.h"

namespace nb::update {

namespace {

constexpr double kTimeOutSeconds = 60;
constexpr std::chrono::seconds kProgressInterval{1};

bool isHttps(const std::string& url) { return url.rfind("https://", 0) == 0; }

std::shared_ptr<AppDelegate> appDelegate() {
  auto app = std::dynamic_pointer_cast<AppDelegate>(Util::getAppDelegate());
  if (!app) NBLOG_ERROR("the program update needs the shell's application state");
  return app;
}

}  // namespace

DownloadExeTask::DownloadExeTask(std::string url, std::string savepath, std::int64_t size,
                                 std::function<void()> done)
    : url_(std::move(url)), savepath_(std::move(savepath)), size_(size), done_(std::move(done)) {}

DownloadExeTask::~DownloadExeTask() { closeTemporaryFile(); }

void DownloadExeTask::main() {
  if (!isHttps(url_)) {
    // Whoever can answer a plain request could hand us any program.
    NBLOG_ERROR("program archive refused: not an https address");
    platform::MainThread::postAndWait([this] {
      reportFailure();
      end();
    });
  } else {
    platform::MainThread::postAndWait([this] {
      if (!openTemporaryFile()) {
        reportFailure();
        end();
        return;
      }
      auto request = http::ASIHTTPRequest::requestWithURL(url_);
      const TransportSettings settings = currentTransportSettings();
      if (!settings.userAgent.empty()) request->setUserAgentString(settings.userAgent);
      request->timeOutSeconds = kTimeOutSeconds;
      request->shouldAttemptPersistentConnection = false;
      request->shouldRedirect = true;
      request->shouldUseRFC2616RedirectBehaviour = true;
      request->validatesSecureCertificate = !settings.tls.insecure;
      request->certificateAuthorityFile = settings.tls.caFile;
      request->setDelegate(this);
      pRequest_ = request;
      request->startAsynchronous();
    });
  }
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [this] { return bOut_; });
}

bool DownloadExeTask::openTemporaryFile() {
  // A leftover of an interrupted run would make the size check fail
  // forever, so every download starts from an empty file.
  pFileHandle_ = std::fopen(tempPath().c_str(), "wb");
  if (pFileHandle_ == nullptr) NBLOG_ERROR("cannot write the program archive {}", tempPath());
  return pFileHandle_ != nullptr;
}

void DownloadExeTask::closeTemporaryFile() {
  if (pFileHandle_ != nullptr) std::fclose(pFileHandle_);
  pFileHandle_ = nullptr;
}

bool DownloadExeTask::respondsToSelector(std::string_view name) const {
  return name == http::selector::didReceiveData || name == http::selector::requestFinished ||
         name == http::selector::requestFailed;
}

void DownloadExeTask::requestDidReceiveData(http::ASIHTTPRequest& request,
                                            const std::string& data) {
  const int status = request.responseStatusCode();
  if (status < 200 || status > 299) return;
  if (pFileHandle_ != nullptr) {
    std::fwrite(data.data(), 1, data.size(), pFileHandle_);
    std::fflush(pFileHandle_);
    nDownloadSize_ += static_cast<std::int64_t>(data.size());
  }
  const std::int64_t percent = size_ == 0 ? 0 : nDownloadSize_ * 100 / size_;
  if (!askFirst()) return;
  const auto now = platform::monotonicNow();
  if (progressSent_ && now - ftSpeedTime_ <= kProgressInterval) return;
  if (progressSent_ && percent == nProgress_) return;
  progressSent_ = true;
  ftSpeedTime_ = now;
  nProgress_ = percent;
  sendToUpdateWindow("gExeUpdateProgress", fmt::format("{{\"progress\":{}}}", percent));
}

void DownloadExeTask::requestFinished(http::ASIHTTPRequest& request) {
  const int status = request.responseStatusCode();
  closeTemporaryFile();
  if (status < 200 || status > 399) {
    reportFailure();
    Util::deletefile(tempPath());
  } else {
    std::error_code ec;
    std::filesystem::remove(savepath_, ec);
    std::filesystem::rename(tempPath(), savepath_, ec);
    const auto onDisk = static_cast<std::int64_t>(Util::filesize(savepath_));
    if (!ec && onDisk == size_) {
      updateAppByServerZip();
    } else {
      NBLOG_WARN("program archive of {} bytes, {} announced: not installed", onDisk, size_);
    }
  }
  end();
}

void DownloadExeTask::requestFailed(http::ASIHTTPRequest&) {
  closeTemporaryFile();
  reportFailure();
  end();
}

void DownloadExeTask::reportFailure() const {
  if (askFirst()) sendToUpdateWindow("gExeUpdateProgress", R"({"error":1})");
}

void DownloadExeTask::updateAppByServerZip() {
  const std::filesystem::path program = programFolder();
  if (!installProgramArchive(savepath_, program)) {
    Util::deletefile(savepath_);
    sendToUpdateWindow("gExeUpdateProgress", R"({"error":1})");
    return;
  }
  const std::shared_ptr<AppDelegate> app = appDelegate();
  if (app) app->setAppUpdateVersionString(app->appServerVersionString());
  Util::deletefile(savepath_);
  reapplyBranding(brandingFolder(), program);
  sendToUpdateWindow("gExeUpdateFinish", "{}");
  if (app) app->setUpdateStatusInteger(AppDelegate::kUpdateInstalled);
  broadcastCheckUpdate("finish");
}

void DownloadExeTask::end() {
  if (pRequest_) pRequest_->setDelegate(nullptr);
  pRequest_.reset();
  if (done_) done_();
  std::lock_guard lock(mutex_);
  bOut_ = true;
  finished_.notify_all();
}

}  // namespace nb::update
