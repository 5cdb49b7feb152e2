#pragma once
// The download side of the fake storage servers: ranged GETs of the
// drive's content from any number of addresses, each a path of one
// loopback server ("/dl/<n>?filehash=<hash>"), and each able to misbehave
// as a test tells it: expire (403 after n answers), ignore the range and
// send the whole file with 200, send more bytes than asked, close the
// connection short, lie about the bytes, or send its head and then stall.
//
//   FakeStorageDownloads downloads(drive);     // get_url_by_filehash now
//   downloads.setAddressesPerAnswer(2);        // answers two fresh addresses
//   downloads.setBehaviour({.expireAfter = 1});
//
// Content comes from the drive, or from serve() for contents too large to
// copy per request. Thread-safe.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/ScriptedHttpServer.h"

namespace nb::test {

class FakeDrive;

class FakeStorageDownloads {
 public:
  // How the addresses made from now on answer.
  struct Behaviour {
    int expireAfter = -1;      // answers before every further one is 403; -1: never
    bool ignoreRange = false;  // 200 with the whole file, whatever was asked
    std::uint64_t extraBytes = 0;  // a 206 carrying this many bytes past the range
    std::optional<std::uint64_t> dropAfter;  // close after this many body bytes
    bool lying = false;        // every byte sent is changed
    bool stall = false;        // the head, then nothing until the server stops
  };

  // One request as an address received it.
  struct Hit {
    int address = 0;
    std::optional<std::uint64_t> first;  // the Range asked for, when one was
    std::optional<std::uint64_t> last;
    int status = 0;
    std::uint64_t bytes = 0;  // body bytes answered
  };

  // Without a drive, only serve()d contents are known and the drive's
  // address list is not touched.
  explicit FakeStorageDownloads(FakeDrive* drive = nullptr);
  ~FakeStorageDownloads();
  FakeStorageDownloads(const FakeStorageDownloads&) = delete;
  FakeStorageDownloads& operator=(const FakeStorageDownloads&) = delete;

  // Keeps `bytes` to serve under their SHA-1, which it answers.
  std::string serve(std::string bytes);
  // Addresses handed out by each get_url_by_filehash answer (default 1).
  void setAddressesPerAnswer(int count);
  void setBehaviour(Behaviour behaviour);
  // Makes fresh addresses for a content hash, with the current behaviour.
  std::vector<std::string> freshUrls(const std::string& filehash);
  // Changes how an address made earlier answers (1 is the first one made).
  void setBehaviour(int address, Behaviour behaviour);

  std::vector<Hit> hits() const;
  // Body bytes all addresses answered so far.
  std::uint64_t bytesServed() const;
  int addressesMade() const;
  ScriptedHttpServer& server() { return server_; }

 private:
  struct Address {
    Behaviour behaviour;
    int answers = 0;
  };
  ScriptedReply answer(int address, const ScriptedRequest& request);
  std::shared_ptr<const std::string> content(const std::string& filehash);

  FakeDrive* const drive_;
  ScriptedHttpServer server_;

  mutable std::mutex lock_;
  std::map<std::string, std::shared_ptr<const std::string>> contents_;  // GUARDED_BY(lock_)
  std::map<int, Address> addresses_;                                     // GUARDED_BY(lock_)
  Behaviour behaviour_;                                                  // GUARDED_BY(lock_)
  int perAnswer_ = 1;                                                    // GUARDED_BY(lock_)
  std::vector<Hit> hits_;                                                // GUARDED_BY(lock_)
};

}  // namespace nb::test
