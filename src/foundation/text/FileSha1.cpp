// The streamed file SHA-1 of StringHelpers.h.

#include <cerrno>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>

#include "foundation/text/HexText.h"
#include "foundation/text/StringHelpers.h"

namespace nb {

namespace {

struct FdCloser {
  int fd = -1;
  ~FdCloser() {
    if (fd >= 0) {
      ::close(fd);
    }
  }
};

struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// Reads up to `size` bytes, retrying interrupted reads. -1 on error.
ssize_t readSome(int fd, unsigned char* buf, size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buf, size);
    if (n >= 0 || errno != EINTR) {
      return n;
    }
  }
}

}  // namespace

std::optional<std::string> FileMD5HashCreateWithPath(const std::string& path,
                                                     size_t readSize) {
  FdCloser file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) {
    return std::nullopt;
  }
  // A folder opens read-only on Linux and only fails at the first read
  // (EISDIR); answer it up front.
  struct stat st {};
  if (::fstat(file.fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    return std::nullopt;
  }
  ::posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);

  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) != 1) {
    return std::nullopt;
  }
  std::vector<unsigned char> buffer(readSize != 0 ? readSize : kFileHashDefaultReadSize);
  for (;;) {
    const ssize_t n = readSome(file.fd, buffer.data(), buffer.size());
    if (n < 0) {
      return std::nullopt;
    }
    if (n == 0) {
      break;
    }
    if (EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<size_t>(n)) != 1) {
      return std::nullopt;
    }
  }
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_DigestFinal_ex(ctx.get(), md, &len) != 1) {
    return std::nullopt;
  }
  return hexText(std::string_view(reinterpret_cast<const char*>(md), len));
}

}  // namespace nb
