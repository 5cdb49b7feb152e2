#pragma once
// One connection of the LAN file server. It buffers the request head to its
// blank line, finds the content in the order of LanContent, and writes the
// reply header and then the body straight from the file, one chunk of at
// most kLanBodyChunk bytes per writable event, so a connection never holds
// a body in memory. After the body it waits for another request until the
// owner's idle time-out closes it.
//
// Thread-safety: none; the listener's thread owns every connection.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/UniqueFd.h"
#include "transfer/lan/LanContent.h"
#include "transfer/lan/LanRequestHead.h"

namespace nb::lan {

inline constexpr std::uint64_t kLanBodyChunk = 10'485'760;

class HttpServer {
 public:
  // `socket` is a non-blocking accepted socket; `id` names this
  // connection's deciphered copies; `serving` tells whether requests may be
  // answered at all. `content` must outlive the connection.
  HttpServer(platform::UniqueFd socket, std::uint64_t id, LanContent& content,
             std::function<bool()> serving);
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  int fd() const { return socket_.get(); }
  // The loop's events. Each answers false when the connection is over and
  // must be dropped.
  bool readStreamHandleEvent();
  bool writeStreamHandleEvent();
  // Whether the loop should wait for the socket to take bytes.
  bool wantsWrite() const;
  std::chrono::steady_clock::time_point lastActivity() const { return lastActivity_; }

 private:
  struct Served {
    std::optional<platform::UniqueFd> file;
    std::uint64_t size = 0;
    bool partialFile = false;  // a running download: only `done` may go out
    std::string done;          // its ranges, "a-b,c-d"
  };

  bool answerBufferedRequests();
  // False when the request gets no reply and the connection closes.
  bool answer(const LanRequest& request);
  bool findContent(const std::string& filehash, Served& served);
  bool openCached(const std::string& filehash, Served& served);
  // The bytes to send for the request, cut to what the source holds; false
  // when nothing of it can be served.
  bool chooseRange(const LanRequest& request, const Served& served, std::uint64_t& first,
                   std::uint64_t& last) const;
  bool writeOutgoingBufferToStream();
  bool responseIdle() const;

  platform::UniqueFd socket_;
  const std::uint64_t id_;
  LanContent& content_;
  const std::function<bool()> serving_;

  std::string incomingDataBuffer_;
  std::string httpheader_;      // reply header bytes not yet written
  bool bHave_ = false;          // a body follows the header
  bool bReadHeader_ = false;    // a request was answered; the body may go out
  std::optional<platform::UniqueFd> fileHandle_;
  std::uint64_t llBegin_ = 0;   // next byte to send
  std::uint64_t llEnd_ = 0;     // last byte to send, inclusive
  bool bodyDone_ = true;
  std::chrono::steady_clock::time_point lastActivity_;
};

}  // namespace nb::lan
