#include "transfer/lan/HttpServer.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "transfer/ranges/DataLocator.h"

namespace nb::lan {
namespace {

constexpr std::size_t kReadChunk = 1024;

// A regular file that opens for reading; other kinds (a folder at a synced
// path, a device) are never served.
platform::UniqueFd openRegular(const std::string& path, std::uint64_t& size) {
  if (path.empty()) return platform::UniqueFd();
  platform::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (!file.ok() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return platform::UniqueFd();
  }
  size = static_cast<std::uint64_t>(info.st_size);
  return file;
}

}  // namespace

HttpServer::HttpServer(platform::UniqueFd socket, std::uint64_t id, LanContent& content,
                       std::function<bool()> serving)
    : socket_(std::move(socket)),
      id_(id),
      content_(content),
      serving_(std::move(serving)),
      lastActivity_(std::chrono::steady_clock::now()) {}

bool HttpServer::wantsWrite() const { return !httpheader_.empty() || !bodyDone_; }

bool HttpServer::responseIdle() const { return httpheader_.empty() && bodyDone_; }

bool HttpServer::readStreamHandleEvent() {
  char chunk[kReadChunk];
  for (;;) {
    const ssize_t got = ::recv(socket_.get(), chunk, sizeof chunk, 0);
    if (got > 0) {
      incomingDataBuffer_.append(chunk, static_cast<std::size_t>(got));
      lastActivity_ = std::chrono::steady_clock::now();
      // A peer that keeps sending while its reply goes out, or never ends
      // its head, gets no more room than one head.
      if (incomingDataBuffer_.size() > kLanMaxRequestHead) break;
      continue;
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (got < 0 && errno == EINTR) continue;
    return false;  // the requester closed, or the socket failed
  }
  return answerBufferedRequests();
}

bool HttpServer::answerBufferedRequests() {
  while (responseIdle() && !incomingDataBuffer_.empty()) {
    const LanHeadResult head = parseLanRequestHead(incomingDataBuffer_);
    if (head.status == LanHeadResult::Status::kTooLarge) return false;
    if (head.status == LanHeadResult::Status::kIncomplete) return true;
    incomingDataBuffer_.erase(0, head.consumed);
    if (!answer(head.request)) return false;
    if (!writeOutgoingBufferToStream()) return false;
  }
  return incomingDataBuffer_.size() <= kLanMaxRequestHead;
}

bool HttpServer::answer(const LanRequest& request) {
  if (!request.download || !serving_()) return false;
  const std::string date = Util::getGMTDate();
  Served served;
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  bReadHeader_ = true;
  if (request.filehash.empty() || !findContent(request.filehash, served) ||
      !chooseRange(request, served, first, last)) {
    bHave_ = false;
    bodyDone_ = true;
    fileHandle_.reset();
    httpheader_ = lanReplyNotFound(request.host, date);
    return true;
  }
  bHave_ = true;
  fileHandle_.reset();
  fileHandle_.emplace(std::move(*served.file));
  llBegin_ = first;
  llEnd_ = last;
  bodyDone_ = served.size == 0;
  httpheader_ = request.range == LanRequest::Range::kNone
                    ? lanReplyWhole(request.host, date, served.size)
                    : lanReplyRange(request.host, date, first, last);
  return true;
}

bool HttpServer::findContent(const std::string& filehash, Served& served) {
  if (!content_.cachePath(filehash).empty()) return openCached(filehash, served);
  for (const std::string& path : {content_.syncedPath(filehash), content_.finishedPath(filehash)}) {
    served.file.emplace(openRegular(path, served.size));
    if (served.file->ok()) return true;
  }
  const auto running = content_.running(filehash);
  if (!running) return false;
  std::uint64_t onDisk = 0;
  served.file.emplace(openRegular(running->temppath, onDisk));
  served.size = running->filesize;
  served.partialFile = true;
  served.done = running->have;
  return served.file->ok();
}

// The deciphered copy gets a name of this connection's own and is unlinked
// as soon as it is open: nothing is left behind, and no other connection or
// upload that deciphers the same content can remove it under this one.
bool HttpServer::openCached(const std::string& filehash, Served& served) {
  const std::string entry = content_.cachePath(filehash);
  const std::string folder = content_.decryptFolder();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const std::string target = folder + "/file_" + filehash + "_lan" + std::to_string(id_);
  if (!content_.decryptCache(entry, target)) {
    NBLOG_WARN("LAN server: the cached copy of {} could not be deciphered", filehash);
    return false;
  }
  served.file.emplace(openRegular(target, served.size));
  ::unlink(target.c_str());
  return served.file->ok();
}

bool HttpServer::chooseRange(const LanRequest& request, const Served& served,
                             std::uint64_t& first, std::uint64_t& last) const {
  if (request.range == LanRequest::Range::kMalformed) return false;
  if (request.range == LanRequest::Range::kNone) {
    first = 0;
    last = served.size == 0 ? 0 : served.size - 1;
  } else {
    first = static_cast<std::uint64_t>(request.begin);
    // A range past the end is cut to the end: the header then tells the
    // length that really follows.
    if (first >= served.size) return false;
    last = request.end < 0 ? served.size - 1
                           : std::min(static_cast<std::uint64_t>(request.end), served.size - 1);
  }
  if (!served.partialFile) return true;
  // A running download serves only what it has written, from the begin on.
  DataLocator done;
  done.LoadParisFromString(served.done);
  for (const DataPair& pair : done.arrayData()) {
    if (pair.ullFirstMark > first || pair.ullLastMark < first) continue;
    if (request.range == LanRequest::Range::kNone && pair.ullLastMark < last) return false;
    last = std::min(last, pair.ullLastMark);
    return served.size != 0;
  }
  return false;
}

bool HttpServer::writeOutgoingBufferToStream() {
  while (!httpheader_.empty()) {
    const ssize_t sent = ::send(socket_.get(), httpheader_.data(), httpheader_.size(), MSG_NOSIGNAL);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    httpheader_.erase(0, static_cast<std::size_t>(sent));
    lastActivity_ = std::chrono::steady_clock::now();
  }
  if (!bReadHeader_) return true;
  // A 404 ends the connection once its header is out.
  if (!bHave_) return false;
  if (bodyDone_) return true;
  const std::uint64_t count = std::min(kLanBodyChunk, llEnd_ - llBegin_ + 1);
  auto offset = static_cast<off_t>(llBegin_);
  const ssize_t sent = ::sendfile(socket_.get(), fileHandle_->get(), &offset, count);
  if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
  // No bytes: the file ended before the range (it shrank since the header).
  if (sent <= 0) return false;
  lastActivity_ = std::chrono::steady_clock::now();
  llBegin_ += static_cast<std::uint64_t>(sent);
  if (llBegin_ > llEnd_) {
    bodyDone_ = true;
    fileHandle_.reset();
  }
  return true;
}

bool HttpServer::writeStreamHandleEvent() {
  // A request that came while the last body went out is answered now.
  return writeOutgoingBufferToStream() && answerBufferedRequests();
}

}  // namespace nb::lan
