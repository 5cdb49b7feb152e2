#include "transfer/jobs/DownloadImageForUrlTask.h"

#include <array>
#include <optional>
#include <string_view>

#include "api/calls/TransportSettings.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilDesktop.h"
#include "foundation/util/UtilFiles.h"
#include "http/request/ASIHTTPRequest.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "stores/cache/SyncCache.h"

namespace nb::transfer {
namespace {

constexpr std::array<std::string_view, 4> kImageExtensions{"jpg", "jpeg", "png", "gif"};

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

DownloadImageForUrlTask::DownloadImageForUrlTask(std::string url, std::string path, Opener opener)
    : strUrl(std::move(url)),
      strFilePath(std::move(path)),
      opener_(opener ? std::move(opener)
                     : Opener([](const std::string& file) { return Util::openPath(file, "", ""); })) {}

bool DownloadImageForUrlTask::isFetchableUrl(const std::string& url) {
  const std::string lower = lowercaseString(url);
  for (const std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
    if (startsWith(lower, scheme) && lower.size() > scheme.size()) return true;
  }
  return false;
}

bool DownloadImageForUrlTask::isImagePath(const std::string& path) {
  if (path.empty() || path.front() != '/') return false;
  const std::string name = getFilename(path);
  const std::size_t dot = name.find('.');
  if (dot == std::string::npos || !isContentHash(name.substr(0, dot))) return false;
  const std::string_view ext = std::string_view(name).substr(dot + 1);
  for (const std::string_view allowed : kImageExtensions) {
    if (ext == allowed) return true;
  }
  return false;
}

void DownloadImageForUrlTask::main() {
  if (!isImagePath(strFilePath)) {
    NBLOG_ERROR("refused to fetch an image to {}: not a content-hash image name", strFilePath);
    return;
  }
  if (!Util::existfile(strFilePath)) {
    if (!isFetchableUrl(strUrl)) {
      NBLOG_ERROR("refused to fetch an image from a URL that is not http or https");
      return;
    }
    if (!fetch()) return;
  }
  if (!opener_(strFilePath)) NBLOG_WARN("the desktop did not open {}", strFilePath);
}

bool DownloadImageForUrlTask::fetch() const {
  auto request = http::ASIHTTPRequest::requestWithURL(strUrl);
  const TransportSettings settings = currentTransportSettings();
  if (!settings.userAgent.empty()) request->setUserAgentString(settings.userAgent);
  request->validatesSecureCertificate = !settings.tls.insecure;
  request->certificateAuthorityFile = settings.tls.caFile;
  request->startSynchronous();

  const int status = request->responseStatusCode();
  const std::optional<std::string> body = request->responseData();
  if (request->error() || status < 200 || status > 399 || !body || body->empty()) {
    NBLOG_INFO("image fetch for {} failed with status {}", strFilePath, status);
    return false;
  }
  if (!Util::createfolder(getParent(strFilePath)) ||
      !platform::writeFileAtomically(strFilePath, *body, 0644)) {
    NBLOG_WARN("cannot write the fetched image {}", strFilePath);
    return false;
  }
  return Util::existfile(strFilePath);
}

}  // namespace nb::transfer
