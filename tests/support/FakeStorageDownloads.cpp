#include "support/FakeStorageDownloads.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "support/FakeDrive.h"

namespace nb::test {

namespace {

std::optional<std::uint64_t> number(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "bytes=a-b" or "bytes=a-" of a file of `size` bytes; nothing when absent
// or unreadable.
std::optional<std::pair<std::uint64_t, std::uint64_t>> range(const ScriptedRequest& request,
                                                            std::uint64_t size) {
  const auto header = request.header("Range");
  if (!header || header->rfind("bytes=", 0) != 0) return std::nullopt;
  const std::string_view spec = std::string_view(*header).substr(6);
  const auto dash = spec.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const auto first = number(spec.substr(0, dash));
  if (!first) return std::nullopt;
  std::uint64_t last = size == 0 ? 0 : size - 1;
  if (dash + 1 < spec.size()) {
    const auto asked = number(spec.substr(dash + 1));
    if (!asked || *asked < *first) return std::nullopt;
    last = std::min(last, *asked);
  }
  return std::make_pair(*first, last);
}

std::string filehashOf(const std::string& target) {
  const auto at = target.find("filehash=");
  if (at == std::string::npos) return {};
  return target.substr(at + 9, target.find('&', at) == std::string::npos
                                   ? std::string::npos
                                   : target.find('&', at) - at - 9);
}

}  // namespace

FakeStorageDownloads::FakeStorageDownloads(FakeDrive* drive) : drive_(drive) {
  if (drive_) {
    drive_->setDownloadUrlSource([this](const std::string& filehash) { return freshUrls(filehash); });
  }
}

FakeStorageDownloads::~FakeStorageDownloads() {
  if (drive_) drive_->setDownloadUrlSource({});
  server_.stop();
}

std::string FakeStorageDownloads::serve(std::string bytes) {
  const std::string hash = FakeDrive::contentHash(bytes);
  std::lock_guard guard(lock_);
  contents_[hash] = std::make_shared<const std::string>(std::move(bytes));
  return hash;
}

void FakeStorageDownloads::setAddressesPerAnswer(int count) {
  std::lock_guard guard(lock_);
  perAnswer_ = count;
}

void FakeStorageDownloads::setBehaviour(Behaviour behaviour) {
  std::lock_guard guard(lock_);
  behaviour_ = behaviour;
}

void FakeStorageDownloads::setBehaviour(int address, Behaviour behaviour) {
  std::lock_guard guard(lock_);
  addresses_[address].behaviour = behaviour;
}

std::vector<std::string> FakeStorageDownloads::freshUrls(const std::string& filehash) {
  std::vector<int> made;
  {
    std::lock_guard guard(lock_);
    for (int i = 0; i < perAnswer_; ++i) {
      const int number = static_cast<int>(addresses_.size()) + 1;
      addresses_[number] = Address{behaviour_, 0};
      made.push_back(number);
    }
  }
  std::vector<std::string> urls;
  for (const int number : made) {
    const std::string path = "/dl/" + std::to_string(number);
    server_.on(path, [this, number](const ScriptedRequest& request) {
      return answer(number, request);
    });
    urls.push_back(server_.url(path) + "?filehash=" + filehash);
  }
  return urls;
}

std::shared_ptr<const std::string> FakeStorageDownloads::content(const std::string& filehash) {
  {
    std::lock_guard guard(lock_);
    if (const auto found = contents_.find(filehash); found != contents_.end()) return found->second;
  }
  if (!drive_) return nullptr;
  auto bytes = drive_->content(filehash);
  if (!bytes) return nullptr;
  auto shared = std::make_shared<const std::string>(std::move(*bytes));
  std::lock_guard guard(lock_);
  return contents_.emplace(filehash, std::move(shared)).first->second;
}

ScriptedReply FakeStorageDownloads::answer(int address, const ScriptedRequest& request) {
  const auto bytes = content(filehashOf(request.target));
  Hit hit{address, std::nullopt, std::nullopt, 0, 0};
  Behaviour behaviour;
  bool expired = false;
  {
    std::lock_guard guard(lock_);
    Address& state = addresses_[address];
    behaviour = state.behaviour;
    ++state.answers;
    expired = behaviour.expireAfter >= 0 && state.answers > behaviour.expireAfter;
  }
  ScriptedReply reply;
  reply.closeAfter = true;
  const auto asked = bytes ? range(request, bytes->size()) : std::nullopt;
  if (asked) {
    hit.first = asked->first;
    hit.last = asked->second;
  }
  if (!bytes) {
    reply.status = 404;
    reply.reason = "Not Found";
  } else if (expired) {
    reply.status = 403;
    reply.reason = "Forbidden";
  } else if (!asked || behaviour.ignoreRange) {
    reply.body = *bytes;
  } else if (asked->first >= bytes->size()) {
    reply.status = 416;
    reply.reason = "Range Not Satisfiable";
  } else {
    reply.status = 206;
    reply.reason = "Partial Content";
    const std::uint64_t length = asked->second - asked->first + 1 + behaviour.extraBytes;
    reply.body = bytes->substr(asked->first, length);
    reply.body.resize(length, 'x');
    reply.header("Content-Range", "bytes " + std::to_string(asked->first) + "-" +
                                      std::to_string(asked->second) + "/" +
                                      std::to_string(bytes->size()));
  }
  if (behaviour.lying) {
    for (char& c : reply.body) c = static_cast<char>(~static_cast<unsigned char>(c));
  }
  if (behaviour.dropAfter) reply.dropAfterBodyBytes = *behaviour.dropAfter;
  if (behaviour.stall) reply.stallAfterBodyBytes = 0;
  hit.status = reply.status;
  hit.bytes = behaviour.dropAfter ? std::min<std::uint64_t>(*behaviour.dropAfter, reply.body.size())
                                  : reply.body.size();
  if (behaviour.stall) hit.bytes = 0;
  std::lock_guard guard(lock_);
  hits_.push_back(hit);
  return reply;
}

std::vector<FakeStorageDownloads::Hit> FakeStorageDownloads::hits() const {
  std::lock_guard guard(lock_);
  return hits_;
}

std::uint64_t FakeStorageDownloads::bytesServed() const {
  std::lock_guard guard(lock_);
  std::uint64_t total = 0;
  for (const auto& hit : hits_) total += hit.bytes;
  return total;
}

int FakeStorageDownloads::addressesMade() const {
  std::lock_guard guard(lock_);
  return static_cast<int>(addresses_.size());
}

}  // namespace nb::test
