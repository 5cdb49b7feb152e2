#include "stores/cache/CacheEntryFormat.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "foundation/text/HexText.h"
#include "platform/AtomicFile.h"
#include "platform/UniqueFd.h"
#include "foundation/util/UtilFiles.h"
#include "stores/cache/Rc4.h"

namespace nb {

namespace {

// Whole files are streamed in pieces of this size: RC4 is a stream cipher,
// so the pieces give the same bytes as one call over the whole content, and
// no size of file needs its size in memory.
constexpr std::size_t kChunk = 1 << 20;

using platform::UniqueFd;

UniqueFd openRead(const std::string& path) { return UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)); }

// A fresh temporary file; a stale one from an earlier failure goes first.
UniqueFd openTemp(const std::string& path) {
  ::unlink(path.c_str());
  return UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
}

// Reads up to `size` bytes; fewer only at the end of the file; -1 on error.
ssize_t readSome(int fd, char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}


// A folder (not a link to one) at `path`: never replaced by a file. It may
// hold the user's files, and a cache read is no reason to delete them.
bool folderAt(const std::string& path) {
  struct stat info{};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Moves the finished temporary file over `destination`, clearing the lock
// flag of a file there first. A folder there makes the move fail.
bool replaceWith(const std::string& temp, const std::string& destination) {
  if (folderAt(destination)) {
    ::unlink(temp.c_str());
    return false;
  }
  if (Util::existfile(destination) || Util::checklinkdir(destination)) {
    Util::setfilelock(destination, false);
  }
  if (std::rename(temp.c_str(), destination.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

std::array<char, kCacheHeaderSize> header(std::uint64_t bodyLength) {
  std::array<char, kCacheHeaderSize> bytes{};
  std::memcpy(bytes.data(), kCacheMarker.data(), kCacheMarker.size());
  for (int n = 0; n < 8; ++n) bytes[16 + n] = static_cast<char>(bodyLength >> (8 * n));
  return bytes;
}

// Enciphers the rest of `in` into `out`; the number of bytes, or nothing.
std::optional<std::uint64_t> encipher(int in, int out, const std::string& key,
                                      EVP_MD_CTX* sha1) {
  Rc4 cipher(key);
  std::vector<char> buffer(kChunk);
  std::uint64_t total = 0;
  for (;;) {
    const ssize_t n = readSome(in, buffer.data(), buffer.size());
    if (n < 0) return std::nullopt;
    if (n == 0) return total;
    const auto size = static_cast<std::size_t>(n);
    cipher.process(buffer.data(), size);
    if (sha1 != nullptr) EVP_DigestUpdate(sha1, buffer.data(), size);
    if (!platform::writeAll(out, std::string_view(buffer.data(), size))) return std::nullopt;
    total += size;
  }
}

bool writeEmpty(const std::string& target) {
  const std::string temp = target + ".nbcopy";
  UniqueFd out = openTemp(temp);
  if (!out.ok() || !out.close()) {
    ::unlink(temp.c_str());
    return false;
  }
  return replaceWith(temp, target);
}

using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

}  // namespace

bool writeCacheEntry(const std::string& source, const std::string& entry, const std::string& key) {
  UniqueFd in = openRead(source);
  if (!in.ok()) return false;
  struct stat info{};
  if (::fstat(in.get(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  const std::string temp = entry + ".nbcopy";
  UniqueFd out = openTemp(temp);
  if (!out.ok()) return false;
  const auto expected = static_cast<std::uint64_t>(info.st_size);
  auto head = header(expected);
  bool ok = platform::writeAll(out.get(), std::string_view(head.data(), head.size()));
  const auto written = ok ? encipher(in.get(), out.get(), key, nullptr) : std::nullopt;
  ok = written.has_value();
  if (ok && *written != expected) {
    // The source changed size while it was read: the length field must name
    // the body actually written.
    head = header(*written);
    ok = ::pwrite(out.get(), head.data() + 16, 8, 16) == 8;
  }
  if (!out.close() || !ok) {
    ::unlink(temp.c_str());
    return false;
  }
  return replaceWith(temp, entry);
}

CacheReadResult readCacheEntry(const std::string& entry, const std::string& target,
                               const std::string& key) {
  if (folderAt(target)) return CacheReadResult::kFailed;
  UniqueFd in = openRead(entry);
  if (!in.ok()) return CacheReadResult::kFailed;
  struct stat info{};
  if (::fstat(in.get(), &info) != 0 || S_ISDIR(info.st_mode)) return CacheReadResult::kFailed;
  const auto size = static_cast<std::uint64_t>(info.st_size);
  auto done = [](bool ok) { return ok ? CacheReadResult::kDone : CacheReadResult::kFailed; };
  if (size == 0) return done(writeEmpty(target));
  // A short entry, or one without the marker, is a plain copy of the content.
  std::array<char, kCacheHeaderSize> head{};
  if (size < kCacheHeaderSize ||
      readSome(in.get(), head.data(), head.size()) != static_cast<ssize_t>(head.size()) ||
      std::memcmp(head.data(), kCacheMarker.data(), kCacheMarker.size()) != 0) {
    return done(Util::copyfileneedtemp(entry, target));
  }
  if (size == kCacheHeaderSize) return done(writeEmpty(target));

  const std::string temp = target + ".nbcopy";
  UniqueFd out = openTemp(temp);
  if (!out.ok()) return CacheReadResult::kFailed;
  DigestContext sha1(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  bool ok = sha1 && EVP_DigestInit_ex(sha1.get(), EVP_sha1(), nullptr) == 1 &&
            encipher(in.get(), out.get(), key, sha1.get()).has_value();
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  ok = ok && EVP_DigestFinal_ex(sha1.get(), digest.data(), &length) == 1;
  if (!out.close() || !ok) {
    ::unlink(temp.c_str());
    return CacheReadResult::kFailed;
  }
  // The content must be the one the entry is named after; anything else
  // (another key, a damaged body) never reaches the target.
  const std::string hash = hexText({reinterpret_cast<const char*>(digest.data()), length});
  if (entry.find(hash) == std::string::npos) {
    ::unlink(temp.c_str());
    return CacheReadResult::kNotVerified;
  }
  return done(replaceWith(temp, target));
}

}  // namespace nb
