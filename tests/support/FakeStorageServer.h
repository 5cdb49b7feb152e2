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
//   PUT  /download_checksum      -> the checksum bytes set by the test, else 205
//   PUT  /upload_checksum_result x-nb-upload-crc must be the CRC-32 of the body
//   GET  /upload_req             -> decimal offset of the first missing byte
//   PUT  /upload_part            x-nb-upload-range "a-b" (inclusive), x-nb-upload-crc;
//                                409 {"error_code":40900,"expect":n} out of order
//   POST /upload_finish          x-nb-upload-filesize; 409 when bytes are missing,
//                                400 when the content's SHA-1 is not the filehash
//   POST /upload_abort
// Download: GET /download?filehash=<40 hex> with an optional "Range: bytes=a-b".
//
// Refusals answer {"error_code","error_msg"}. Thread-safe.

#include <map>
#include <mutex>
#include <optional>
#include <string>

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

  explicit FakeStorageServer(FakeDrive& drive);
  FakeStorageServer(const FakeStorageServer&) = delete;
  FakeStorageServer& operator=(const FakeStorageServer&) = delete;

  FakeService& service() { return service_; }
  std::string baseUrl() const { return service_.baseUrl(); }
  std::string storagePoint() const;
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

 private:
  struct Session {
    std::string pathhash;
    std::string filehash;
    uint64_t filesize = 0;
    std::string bytes;  // received so far, in order
  };

  void install();
  FakeReply init(const FakeCall& call);
  FakeReply part(const FakeCall& call);
  FakeReply finish(const FakeCall& call);
  FakeReply download(const FakeCall& call) const;
  // The session the call names, or the refusal to answer.
  std::optional<FakeReply> withSession(const FakeCall& call, Session*& session);

  FakeDrive& drive_;
  FakeService service_;
  mutable std::mutex lock_;
  std::map<std::string, Session> sessions_;    // GUARDED_BY(lock_)
  int nextSession_ = 0;                        // GUARDED_BY(lock_)
  int pieceLength_ = 1048576;                  // GUARDED_BY(lock_)
  std::optional<std::string> checksumAnswer_;  // GUARDED_BY(lock_)
  std::string lastChecksumResult_;             // GUARDED_BY(lock_)
};

}  // namespace nb::test
