// The control calls of an upload session with a storage server. They carry
// headers only (no form, no signature), check the marker and never repeat:
// the upload peer decides on retries.


#include "api/calls/HTTPEngine.h"
#include "foundation/text/StringHelpers.h"
#include "platform/Log.h"

namespace nb {

namespace {

constexpr int kInitTimeout = 10;      // seconds
constexpr int kFinishTimeout = 3600;  // seconds: the server assembles the file first
constexpr const char* kSession = "x-nb-upload-session";

// Sends one storage call into `ret` and answers the body when the answer is
// a 200 with the marker; otherwise the error fields are read and nothing is
// answered.
std::optional<std::string> sendStorage(RequestRet& ret, const std::string& method,
                                       const std::string& url, platform::HttpHeaders headers,
                                       std::optional<std::string> body, int timeout) {
  NBHTTPRequest request(url, method, std::move(headers), std::move(body));
  ret.setFtStart(requestClockNow());
  NBHTTPResponse response = request.connectNetSyncWithResponse(timeout);
  ret.setStrRequestUrl(url);
  ret.setNStatusCode(response.statusCode);
  if (response.statusCode != 200) {
    ret.setValueWithErrorData(response.body);
    return std::nullopt;
  }
  if (!HTTPEngine::checkResponseHeader(response)) {
    ret.setNStatusCode(RequestRet::kNoMarker);
    ret.setValueWithErrorData(response.body);
    return std::nullopt;
  }
  return std::move(response.body);
}

platform::HttpHeaders sessionHeader(const std::string& session) {
  return platform::HttpHeaders{{kSession, session}};
}

}  // namespace

std::string HTTPEngine::uploadFileName(std::string_view name) {
  constexpr std::string_view kKept = "-_.!~*'();/?:@&=+$,";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (alnum || kKept.find(ch) != std::string_view::npos) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

RetUploadInit HTTPEngine::sendInit(const std::string& url, const std::string& token,
                                   const std::string& fileName, const std::string& pathHash,
                                   const std::string& fileHash, uint64_t fileSize,
                                   int64_t mountid, const std::string& storagepoint) {
  const platform::HttpHeaders headers{
      {"x-nb-upload-filename", uploadFileName(fileName)},
      {"x-nb-upload-pathhash", pathHash},
      {"x-nb-upload-filehash", fileHash},
      {"x-nb-upload-filesize", std::to_string(fileSize)},
      {"x-nb-token", token},
      {"x-nb-upload-mountid", std::to_string(mountid)},
      {"x-nb-storage-point", storagepoint}};
  RetUploadInit ret;
  if (const auto body = sendStorage(ret, "PUT", url + "/upload_init", headers, std::nullopt,
                                    kInitTimeout)) {
    ret.setValueWithData(*body);
  }
  return ret;
}

RetUploadCheckSum HTTPEngine::sendDownloadCheckSum(const std::string& url,
                                                   const std::string& session) {
  RetUploadCheckSum ret;
  if (auto body = sendStorage(ret, "PUT", url + "/download_checksum", sessionHeader(session),
                              std::nullopt, NBHTTPRequest::kDefaultTimeout)) {
    ret.setChecksum(std::move(*body));
  }
  return ret;
}

RequestRet HTTPEngine::sendUploadCheckSum(const std::string& url, const std::string& session,
                                          const std::string& data) {
  platform::HttpHeaders headers = sessionHeader(session);
  headers.set("x-nb-upload-crc", std::to_string(crc32(data)));
  RequestRet ret;
  sendStorage(ret, "PUT", url + "/upload_checksum_result", std::move(headers), data,
              NBHTTPRequest::kDefaultTimeout);
  return ret;
}

RetUploadReq HTTPEngine::sendReq(const std::string& url, const std::string& session) {
  RetUploadReq ret;
  if (const auto body = sendStorage(ret, "GET", url + "/upload_req", sessionHeader(session),
                                    std::nullopt, NBHTTPRequest::kDefaultTimeout)) {
    ret.offset = RetUploadReq::offsetFromBody(*body);
    NBLOG_INFO("offset={}", ret.offset);
  }
  return ret;
}

RequestRet HTTPEngine::sendFinish(const std::string& url, const std::string& session,
                                  int64_t filesize) {
  platform::HttpHeaders headers = sessionHeader(session);
  headers.set("x-nb-upload-filesize", std::to_string(filesize));
  RequestRet ret;
  sendStorage(ret, "POST", url + "/upload_finish", std::move(headers), std::nullopt,
              kFinishTimeout);
  return ret;
}

RequestRet HTTPEngine::sendAbort(const std::string& url, const std::string& session) {
  RequestRet ret;
  sendStorage(ret, "POST", url + "/upload_abort", sessionHeader(session), std::nullopt,
              NBHTTPRequest::kDefaultTimeout);
  return ret;
}

}  // namespace nb
