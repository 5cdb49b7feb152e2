// One piece of an upload session: a synchronous PUT of upload_part.

#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "api/calls/NBHTTPRequest.h"
#include "api/calls/TransportSettings.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "http/request/ASIHTTPRequest.h"
#include "platform/Log.h"
#include "transfer/engine/TransferTask.h"
#include "transfer/upload/UploadPeer.h"

namespace nb {
namespace {

constexpr double kPieceTimeout = 60;
constexpr std::int64_t kExpectCode = 40900;

// Up to `length` bytes of `fd` from `offset`; fewer at the end of the file.
std::string readPiece(int fd, std::uint64_t offset, std::uint64_t length) {
  std::string piece(static_cast<std::size_t>(length), '\0');
  std::size_t have = 0;
  while (have < piece.size()) {
    const ssize_t got = ::pread(fd, piece.data() + have, piece.size() - have,
                                static_cast<off_t>(offset + have));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    have += static_cast<std::size_t>(got);
  }
  piece.resize(have);
  return piece;
}

// The next position a 409 answer asks for, when it says so plainly.
std::optional<std::uint64_t> expectedOffset(const std::string& body) {
  const auto json = objectFromJSONData(body);
  if (!json || !json->isObject()) return std::nullopt;
  const JsonValue* code = json->find("error_code");
  const JsonValue* expect = json->find("expect");
  if (!code || !expect || code->asInt64() != kExpectCode) return std::nullopt;
  return static_cast<std::uint64_t>(expect->asInt64());
}

}  // namespace

bool UploadPeer::SendPiece(std::uint64_t length) {
  const std::uint64_t offset = item().ullOffset;
  const int fd = fdOf(nPiecelen_ != 0 ? pDifFileHandle_ : pFileHandle_);
  const std::string piece = readPiece(fd, offset, length);
  task_.setUllBlockOffset(0);
  setBStart(true);
  setUllSize(piece.size());
  if (piece.empty()) {
    nError_ = 0;  // nothing could be read: the content changed under us
    return false;
  }

  const TransportSettings settings = currentTransportSettings();
  // The user agent and language exactly as the session's other calls send
  // them.
  const platform::HttpHeaders common = NBHTTPRequest("", "PUT").outgoingHeaders(settings);
  auto request = http::ASIHTTPRequest::requestWithURL(strUrl() + "/upload_part");
  request->setRequestMethod("PUT");
  request->addRequestHeader("x-nb-upload-session", strSession_);
  request->addRequestHeader("x-nb-upload-range", std::to_string(offset) + "-" +
                                                     std::to_string(offset + piece.size() - 1));
  request->addRequestHeader("Content-Length", std::to_string(piece.size()));
  request->addRequestHeader("x-nb-upload-crc", std::to_string(crc32(piece)));
  if (const auto agent = common.find("User-Agent")) request->addRequestHeader("User-Agent", *agent);
  request->addRequestHeader("Accept-Language", common.find("Accept-Language").value_or(""));
  // The deployment's TLS choice, as for the session's other calls.
  request->validatesSecureCertificate = !settings.tls.insecure;
  request->certificateAuthorityFile = settings.tls.caFile;
  request->allowCompressedResponse = false;
  request->timeOutSeconds = kPieceTimeout;
  request->appendPostData(piece);
  setPRequest(request);
  if (bStop()) return false;  // a stop that came before the request was listed
  request->startSynchronous();

  const int status = request->responseStatusCode();
  if (status == 200) {
    // Bytes count once the server has them, the whole piece at once.
    task_.addTranssize(piece.size());
    if (environment_.addSpeed) environment_.addSpeed(piece.size());
    task_.setUllBlockOffset(0);
    setOffset(offset + piece.size());
    return true;
  }
  const std::string body = request->responseData().value_or("");
  if (!body.empty()) {
    const double since2001 = static_cast<double>(platform::nowSeconds()) - 978307200.0;
    NBLOG_ERROR("url={},httpcode={},ret={},time={}", strUrl(), status, body, since2001);
  }
  if (status == 409) {
    if (const auto expect = expectedOffset(body)) setOffset(*expect);
  } else if (status == 202) {
    setOffset(ullEnd() + 1);
  } else {
    nError_ = status;
  }
  return false;
}

}  // namespace nb
