#pragma once
// A storage server of the fake service: its own loopback FakeService that
// runs upload sessions for the drive's pending uploads and serves ranged
// downloads of the drive's content.
//
// Upload session, every call keyed by "x-nb-upload-session":
//   PUT  /upload_init            x-nb-upload-filename/-pathhash/-filehash/-filesize,
//                                x-nb-token (live API token), x-nb-upload-mountid,
//                                x-nb-storage-point -> {"session","piecelen"};
//                                202 when the content is already held
//   PUT  /download_checksum      -> the checksum bytes set by the test; else the
//                                block list of the entry's current content; else 205
//   PUT  /upload_checksum_result x-nb-upload-crc must be the CRC-32 of the body; a
//                                body of whole 10-byte match records turns the
//                                upload into a delta (pieces are then delta data)
//   GET  /upload_req             -> decimal offset of the first missing byte
//   PUT  /upload_part            x-nb-upload-range "a-b" (inclusive), x-nb-upload-crc;
//                                409 {"error_code":40900,"expect":n} out of order
//   POST /upload_finish          x-nb-upload-filesize (the delta size for a delta);
//                                409 when bytes are missing, 400 when the rebuilt
//                                content's SHA-1 is not the filehash
//   POST /upload_abort
// Download: GET /download?filehash=<40 hex> with an optional "Range: bytes=a-b".
//
// What an upload received is kept per path hash and content hash, so a new
// upload_init finds it again (a client resuming after a restart). Every
// server of a drive serves the same storage point, so a client can move to
// the next one. Other answers (202, 205, 5xx, 40309) come from the
// service's per-path faults.
//
// Refusals answer {"error_code","error_msg"}. Thread-safe.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/FakeService.h"

namespace nb::test {

class FakeDrive;

class FakeStorageServer {
 public:
  static constexpr int kUnknownSession = 40110;
  static constexpr int kBadHeader = 40010;
  static constexpr int kBadCrc = 40011;
  static constexpr int kBadContent = 40012;
  static constexpr int kOutOfOrder = 40900;

  // `https`: served over TLS with the service's own self-signed certificate.
  explicit FakeStorageServer(FakeDrive& drive, bool https = false);
  FakeStorageServer(const FakeStorageServer&) = delete;
  FakeStorageServer& operator=(const FakeStorageServer&) = delete;

  FakeService& service() { return service_; }
  std::string baseUrl() const { return service_.baseUrl(); }
  // The same for every server of the drive.
  std::string storagePoint() const;
  // A cache server is listed in create-file's "cache_uploads", before the
  // other servers.
  void setCache(bool cache);
  bool isCache() const;
  // Keeps only a running SHA-1 of what arrives, not the bytes: a finish then
  // checks the hash and answers 200 without creating the entry. For uploads
  // too large to hold.
  void setDigestOnly(bool digestOnly);
  // The record of this server in a create-file answer.
  nlohmann::json uploadRecord() const;
  // The download URL of a content hash.
  std::string downloadUrl(const std::string& filehash) const;

  // Piece length answered by upload_init (bytes).
  void setPieceLength(int bytes);
  // The download_checksum answer: these bytes with 200, or 205 when nothing.
  void setChecksumAnswer(std::optional<std::string> bytes);
  // What upload_checksum_result received last.
  std::string lastChecksumResult() const;
  int openSessions() const;
  // Bytes held for an unfinished upload (file or delta data), by path hash.
  uint64_t heldBytes(const std::string& pathhash) const;
  // Whether the last upload_checksum_result of that upload made it a delta.
  bool isDelta(const std::string& pathhash) const;
  // Unfinished uploads: "<pathhash>_<filehash>" -> bytes received so far.
  std::map<std::string, uint64_t> unfinished() const;
  // Every upload_part that named a known session, oldest first: the
  // upload's "<pathhash>_<filehash>" and the first offset of its range, as
  // asked (also when refused as out of order).
  std::vector<std::pair<std::string, uint64_t>> partStarts() const;

 private:
  // One upload, whatever session it is reached through.
  struct Upload {
    std::string pathhash;
    std::string filehash;
    uint64_t filesize = 0;
    uint64_t piecelen = 0;
    std::string bytes;  // received so far, in order
    uint64_t received = 0;
    std::shared_ptr<void> digest;  // digest-only: the running SHA-1
    // Set by valid match records: the pieces are delta data over `base`.
    std::optional<std::string> records;
    std::string base;  // the version the checksum list described
  };

  void install();
  FakeReply init(const FakeCall& call);
  FakeReply checksums(const FakeCall& call);
  FakeReply checksumResult(const FakeCall& call);
  FakeReply part(const FakeCall& call);
  FakeReply finish(const FakeCall& call);
  FakeReply abort(const FakeCall& call);
  FakeReply download(const FakeCall& call) const;
  FakeReply complete(Upload done);
  // The upload the call's session names, or the refusal to answer.
  std::optional<FakeReply> withSession(const FakeCall& call, Upload*& upload);
  static std::string keyOf(const std::string& pathhash, const std::string& filehash) {
    return pathhash + "_" + filehash;
  }
  void forget(const std::string& key);

  FakeDrive& drive_;
  mutable std::mutex lock_;
  std::map<std::string, Upload> uploads_;        // GUARDED_BY(lock_), by keyOf
  std::map<std::string, std::string> sessions_;  // GUARDED_BY(lock_), id -> keyOf
  int nextSession_ = 0;                          // GUARDED_BY(lock_)
  std::vector<std::pair<std::string, uint64_t>> partStarts_;  // GUARDED_BY(lock_)
  int pieceLength_ = 1048576;                    // GUARDED_BY(lock_)
  std::optional<std::string> checksumAnswer_;    // GUARDED_BY(lock_)
  std::string lastChecksumResult_;               // GUARDED_BY(lock_)
  bool cache_ = false;                           // GUARDED_BY(lock_)
  bool digestOnly_ = false;                      // GUARDED_BY(lock_)
  // Last: it stops serving (and its handlers end) before the state above
  // goes.
  FakeService service_;
};

}  // namespace nb::test
