#include "support/FakeStorageServer.h"

#include <charconv>

#include <openssl/evp.h>
#include <zlib.h>

#include "support/FakeBlockDelta.h"
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

FakeStorageServer::FakeStorageServer(FakeDrive& drive, bool https)
    : drive_(drive), service_(FakeService::Options{.https = https}) {
  install();
}

std::string FakeStorageServer::storagePoint() const { return "sp-shared"; }

void FakeStorageServer::setCache(bool cache) {
  std::lock_guard guard(lock_);
  cache_ = cache;
}

bool FakeStorageServer::isCache() const {
  std::lock_guard guard(lock_);
  return cache_;
}

void FakeStorageServer::setDigestOnly(bool digestOnly) {
  std::lock_guard guard(lock_);
  digestOnly_ = digestOnly;
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

uint64_t FakeStorageServer::heldBytes(const std::string& pathhash) const {
  std::lock_guard guard(lock_);
  for (const auto& [key, upload] : uploads_) {
    if (upload.pathhash == pathhash) return upload.received;
  }
  return 0;
}

bool FakeStorageServer::isDelta(const std::string& pathhash) const {
  std::lock_guard guard(lock_);
  for (const auto& [key, upload] : uploads_) {
    if (upload.pathhash == pathhash) return upload.records.has_value();
  }
  return false;
}

std::optional<FakeReply> FakeStorageServer::withSession(const FakeCall& call, Upload*& upload) {
  const auto found = sessions_.find(call.header("x-nb-upload-session").value_or(""));
  if (found == sessions_.end()) return refuse(401, kUnknownSession, "unknown session");
  const auto held = uploads_.find(found->second);
  if (held == uploads_.end()) return refuse(401, kUnknownSession, "upload already finished");
  upload = &held->second;
  return std::nullopt;
}

void FakeStorageServer::forget(const std::string& key) {
  // `key` must not live in the maps changed here.
  uploads_.erase(key);
  std::erase_if(sessions_, [&](const auto& entry) { return entry.second == key; });
}

void FakeStorageServer::install() {
  // Storage calls carry headers only: no form signature, the token checked
  // by upload_init itself.
  const FakeEndpointRules rules{.isSigned = false, .needsToken = false};
  service_.on("PUT", "/upload_init", [this](const FakeCall& call) { return init(call); }, rules);
  service_.on("PUT", "/download_checksum",
              [this](const FakeCall& call) { return checksums(call); }, rules);
  service_.on("PUT", "/upload_checksum_result",
              [this](const FakeCall& call) { return checksumResult(call); }, rules);
  service_.on("GET", "/upload_req", [this](const FakeCall& call) {
    std::lock_guard guard(lock_);
    Upload* upload = nullptr;
    if (auto refused = withSession(call, upload)) return *refused;
    return FakeReply::text(std::to_string(upload->received));
  }, rules);
  service_.on("PUT", "/upload_part", [this](const FakeCall& call) { return part(call); }, rules);
  service_.on("POST", "/upload_finish", [this](const FakeCall& call) { return finish(call); }, rules);
  service_.on("POST", "/upload_abort", [this](const FakeCall& call) { return abort(call); }, rules);
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
  const std::string key = keyOf(pathhash, pending->filehash);
  Upload& upload = uploads_[key];
  if (upload.pathhash.empty()) {
    upload.pathhash = pathhash;
    upload.filehash = pending->filehash;
    upload.filesize = *size;
    if (digestOnly_) {
      upload.digest = std::shared_ptr<void>(EVP_MD_CTX_new(), [](void* context) {
        EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context));
      });
      EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(upload.digest.get()), EVP_sha1(), nullptr);
    }
  }
  upload.piecelen = static_cast<uint64_t>(pieceLength_);
  const std::string id = "session-" + std::to_string(++nextSession_);
  sessions_[id] = key;
  return FakeReply::json({{"session", id}, {"piecelen", pieceLength_}});
}

FakeReply FakeStorageServer::checksums(const FakeCall& call) {
  std::string base;
  std::string pathhash;
  {
    std::lock_guard guard(lock_);
    Upload* upload = nullptr;
    if (auto refused = withSession(call, upload)) return *refused;
    if (checksumAnswer_) {
      FakeReply reply = FakeReply::text(*checksumAnswer_);
      reply.contentType = "application/octet-stream";
      return reply;
    }
    pathhash = upload->pathhash;
  }
  // The version the path holds now, if any, is what a delta builds on.
  const auto pending = drive_.pending(pathhash);
  FakeLibraryTree* tree = pending ? drive_.tree(pending->mountId) : nullptr;
  const auto entry = tree ? tree->find(pending->fullpath) : std::nullopt;
  if (entry && !entry->dir) base = drive_.content(entry->filehash).value_or("");
  std::lock_guard guard(lock_);
  Upload* upload = nullptr;
  if (auto refused = withSession(call, upload)) return *refused;
  if (base.empty()) return FakeReply::text("", 205);
  upload->base = base;
  FakeReply reply = FakeReply::text(blockChecksumList(base, upload->piecelen));
  reply.contentType = "application/octet-stream";
  return reply;
}

FakeReply FakeStorageServer::checksumResult(const FakeCall& call) {
  std::lock_guard guard(lock_);
  Upload* upload = nullptr;
  if (auto refused = withSession(call, upload)) return *refused;
  if (call.header("x-nb-upload-crc") != crcText(call.body)) return refuse(400, kBadCrc, "crc");
  lastChecksumResult_ = call.body;
  // Records that are not whole leave the upload plain.
  if (call.body.size() % 10 == 0) {
    upload->records = call.body;
  } else {
    upload->records.reset();
  }
  return FakeReply::json(nlohmann::json::object());
}

FakeReply FakeStorageServer::part(const FakeCall& call) {
  std::lock_guard guard(lock_);
  Upload* upload = nullptr;
  if (auto refused = withSession(call, upload)) return *refused;
  const std::string range = call.header("x-nb-upload-range").value_or("");
  const auto dash = range.find('-');
  const auto first = number(range.substr(0, dash));
  const auto last = dash == std::string::npos ? std::nullopt : number(range.substr(dash + 1));
  if (!first || !last || *last < *first || *last - *first + 1 != call.body.size() ||
      *last >= upload->filesize) {
    return refuse(400, kBadHeader, "bad range");
  }
  if (call.header("x-nb-upload-crc") != crcText(call.body)) return refuse(400, kBadCrc, "crc");
  partStarts_.emplace_back(keyOf(upload->pathhash, upload->filehash), *first);
  if (*first != upload->received) {
    return FakeReply::json({{"error_code", kOutOfOrder}, {"error_msg", "out of order"},
                            {"expect", upload->received}}, 409);
  }
  if (upload->digest) {
    EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(upload->digest.get()), call.body.data(),
                     call.body.size());
  } else {
    upload->bytes += call.body;
  }
  upload->received += call.body.size();
  return FakeReply::json(nlohmann::json::object());
}

std::map<std::string, uint64_t> FakeStorageServer::unfinished() const {
  std::lock_guard guard(lock_);
  std::map<std::string, uint64_t> held;
  for (const auto& [key, upload] : uploads_) held[key] = upload.received;
  return held;
}

std::vector<std::pair<std::string, uint64_t>> FakeStorageServer::partStarts() const {
  std::lock_guard guard(lock_);
  return partStarts_;
}

FakeReply FakeStorageServer::finish(const FakeCall& call) {
  Upload done;
  {
    std::lock_guard guard(lock_);
    Upload* upload = nullptr;
    if (auto refused = withSession(call, upload)) return *refused;
    const uint64_t expected = upload->records ? upload->received : upload->filesize;
    const auto size = number(call.header("x-nb-upload-filesize"));
    if (!size) return refuse(400, kBadHeader, "size");
    if (upload->received < *size || upload->received < expected) {
      return refuse(409, kOutOfOrder, "incomplete");
    }
    if (*size != expected) return refuse(400, kBadHeader, "size");
    done = std::move(*upload);
    // Other sessions of the same upload stay open until aborted.
    uploads_.erase(keyOf(done.pathhash, done.filehash));
    sessions_.erase(call.header("x-nb-upload-session").value_or(""));
  }
  return complete(std::move(done));
}

FakeReply FakeStorageServer::complete(Upload done) {
  if (done.digest) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(done.digest.get()), digest, &length);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
      hex += kHex[digest[i] >> 4];
      hex += kHex[digest[i] & 0xF];
    }
    if (hex != done.filehash) return refuse(400, kBadContent, "content does not match its hash");
    return FakeReply::json(nlohmann::json::object());
  }
  std::string content = std::move(done.bytes);
  if (done.records) {
    const auto rebuilt =
        rebuildFromDelta(done.base, done.piecelen, *done.records, content, done.filesize);
    if (!rebuilt) return refuse(400, kBadContent, "the delta does not rebuild the file");
    content = *rebuilt;
  }
  if (drive_.putContent(content) != done.filehash) {
    return refuse(400, kBadContent, "content does not match its hash");
  }
  if (!drive_.finishPending(done.pathhash, content)) {
    return refuse(409, kBadContent, "the entry cannot be written");
  }
  return FakeReply::json(nlohmann::json::object());
}

FakeReply FakeStorageServer::abort(const FakeCall& call) {
  std::lock_guard guard(lock_);
  const auto found = sessions_.find(call.header("x-nb-upload-session").value_or(""));
  if (found == sessions_.end()) return refuse(401, kUnknownSession, "unknown session");
  // A session whose upload already finished has nothing left to drop.
  const std::string key = found->second;  // the entry goes with the erase
  forget(key);
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
