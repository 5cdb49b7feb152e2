#include "support/FakeStorageServer.h"

#include <charconv>

#include <zlib.h>

#include "support/FakeDrive.h"

namespace nb::test {

namespace {

std::string crcText(const std::string& bytes) {
  const auto crc = ::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()),
                           static_cast<uInt>(bytes.size()));
  return std::to_string(static_cast<uint32_t>(crc));
}

// The whole text as an unsigned decimal number.
std::optional<uint64_t> number(const std::optional<std::string>& text) {
  if (!text || text->empty()) return std::nullopt;
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
  return value;
}

FakeReply refuse(int status, int code, std::string message) {
  return FakeReply::error(status, code, std::move(message));
}

}  // namespace

FakeStorageServer::FakeStorageServer(FakeDrive& drive) : drive_(drive) { install(); }

std::string FakeStorageServer::storagePoint() const {
  return "sp-" + std::to_string(service_.port());
}

nlohmann::json FakeStorageServer::uploadRecord() const {
  return {{"hostname", "127.0.0.1"}, {"port", std::to_string(service_.port())}, {"https", "0"},
          {"path", ""}, {"sign", ""}, {"dateline", 0}};
}

std::string FakeStorageServer::downloadUrl(const std::string& filehash) const {
  return baseUrl() + "/download?filehash=" + filehash;
}

void FakeStorageServer::setPieceLength(int bytes) {
  std::lock_guard guard(lock_);
  pieceLength_ = bytes;
}

void FakeStorageServer::setChecksumAnswer(std::optional<std::string> bytes) {
  std::lock_guard guard(lock_);
  checksumAnswer_ = std::move(bytes);
}

std::string FakeStorageServer::lastChecksumResult() const {
  std::lock_guard guard(lock_);
  return lastChecksumResult_;
}

int FakeStorageServer::openSessions() const {
  std::lock_guard guard(lock_);
  return static_cast<int>(sessions_.size());
}

std::optional<FakeReply> FakeStorageServer::withSession(const FakeCall& call, Session*& session) {
  const auto found = sessions_.find(call.header("x-nb-upload-session").value_or(""));
  if (found == sessions_.end()) return refuse(401, kUnknownSession, "unknown session");
  session = &found->second;
  return std::nullopt;
}

void FakeStorageServer::install() {
  // Storage calls carry headers only: no form signature, the token checked
  // by upload_init itself.
  const FakeEndpointRules rules{.isSigned = false, .needsToken = false};
  service_.on("PUT", "/upload_init", [this](const FakeCall& call) { return init(call); }, rules);
  service_.on("PUT", "/download_checksum", [this](const FakeCall& call) {
    std::lock_guard guard(lock_);
    Session* session = nullptr;
    if (auto refused = withSession(call, session)) return *refused;
    if (!checksumAnswer_) return FakeReply::text("", 205);
    FakeReply reply = FakeReply::text(*checksumAnswer_);
    reply.contentType = "application/octet-stream";
    return reply;
  }, rules);
  service_.on("PUT", "/upload_checksum_result", [this](const FakeCall& call) {
    std::lock_guard guard(lock_);
    Session* session = nullptr;
    if (auto refused = withSession(call, session)) return *refused;
    if (call.header("x-nb-upload-crc") != crcText(call.body)) return refuse(400, kBadCrc, "crc");
    lastChecksumResult_ = call.body;
    return FakeReply::json(nlohmann::json::object());
  }, rules);
  service_.on("GET", "/upload_req", [this](const FakeCall& call) {
    std::lock_guard guard(lock_);
    Session* session = nullptr;
    if (auto refused = withSession(call, session)) return *refused;
    return FakeReply::text(std::to_string(session->bytes.size()));
  }, rules);
  service_.on("PUT", "/upload_part", [this](const FakeCall& call) { return part(call); }, rules);
  service_.on("POST", "/upload_finish", [this](const FakeCall& call) { return finish(call); }, rules);
  service_.on("POST", "/upload_abort", [this](const FakeCall& call) {
    std::lock_guard guard(lock_);
    Session* session = nullptr;
    if (auto refused = withSession(call, session)) return *refused;
    sessions_.erase(call.header("x-nb-upload-session").value_or(""));
    return FakeReply::json(nlohmann::json::object());
  }, rules);
  service_.on("GET", "/download", [this](const FakeCall& call) { return download(call); }, rules);
}

FakeReply FakeStorageServer::init(const FakeCall& call) {
  if (drive_.api().tokens().state(call.header("x-nb-token").value_or("")) !=
      FakeTokens::State::Live) {
    return refuse(401, FakeService::kTokenUnknown, "invalid token");
  }
  const auto pathhash = call.header("x-nb-upload-pathhash").value_or("");
  const auto pending = drive_.pending(pathhash);
  const auto size = number(call.header("x-nb-upload-filesize"));
  const auto mountId = number(call.header("x-nb-upload-mountid"));
  if (!pending || !size || !mountId || !call.header("x-nb-upload-filename") ||
      call.header("x-nb-upload-filehash") != pending->filehash || *size != pending->filesize ||
      static_cast<int64_t>(*mountId) != pending->mountId ||
      call.header("x-nb-storage-point") != storagePoint()) {
    return refuse(400, kBadHeader, "upload headers do not match the created file");
  }
  if (drive_.hasContent(pending->filehash)) {
    drive_.finishPending(pathhash, *drive_.content(pending->filehash));
    return FakeReply::text("", 202);
  }
  std::lock_guard guard(lock_);
  const std::string id = "session-" + std::to_string(++nextSession_);
  sessions_[id] = Session{pathhash, pending->filehash, *size, {}};
  return FakeReply::json({{"session", id}, {"piecelen", pieceLength_}});
}

FakeReply FakeStorageServer::part(const FakeCall& call) {
  std::lock_guard guard(lock_);
  Session* session = nullptr;
  if (auto refused = withSession(call, session)) return *refused;
  const std::string range = call.header("x-nb-upload-range").value_or("");
  const auto dash = range.find('-');
  const auto first = number(range.substr(0, dash));
  const auto last = dash == std::string::npos ? std::nullopt : number(range.substr(dash + 1));
  if (!first || !last || *last < *first || *last - *first + 1 != call.body.size() ||
      *last >= session->filesize) {
    return refuse(400, kBadHeader, "bad range");
  }
  if (call.header("x-nb-upload-crc") != crcText(call.body)) return refuse(400, kBadCrc, "crc");
  if (*first != session->bytes.size()) {
    return FakeReply::json({{"error_code", kOutOfOrder}, {"error_msg", "out of order"},
                            {"expect", session->bytes.size()}}, 409);
  }
  session->bytes += call.body;
  return FakeReply::json(nlohmann::json::object());
}

FakeReply FakeStorageServer::finish(const FakeCall& call) {
  Session done;
  {
    std::lock_guard guard(lock_);
    Session* session = nullptr;
    if (auto refused = withSession(call, session)) return *refused;
    if (number(call.header("x-nb-upload-filesize")) != session->filesize) {
      return refuse(400, kBadHeader, "size");
    }
    if (session->bytes.size() != session->filesize) return refuse(409, kOutOfOrder, "incomplete");
    done = std::move(*session);
    sessions_.erase(call.header("x-nb-upload-session").value_or(""));
  }
  if (drive_.putContent(done.bytes) != done.filehash) {
    return refuse(400, kBadContent, "content does not match its hash");
  }
  if (!drive_.finishPending(done.pathhash, done.bytes)) {
    return refuse(409, kBadContent, "the entry cannot be written");
  }
  return FakeReply::json(nlohmann::json::object());
}

FakeReply FakeStorageServer::download(const FakeCall& call) const {
  const auto bytes = drive_.content(call.param("filehash").value_or(""));
  if (!bytes) return refuse(404, 40402, "no such content");
  // httplib cuts a "Range" request's body to the range and adds
  // Content-Range itself; the handler only names the status.
  FakeReply reply = FakeReply::text(*bytes, call.header("Range") ? 206 : 200);
  reply.contentType = "application/octet-stream";
  return reply;
}

}  // namespace nb::test
