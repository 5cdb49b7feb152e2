#include "platform/WholeFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "platform/Log.h"

namespace nb::platform {
namespace {

// Closes the descriptor it holds when it goes.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting whether the close succeeded.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

std::optional<std::string> readWholeFile(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    return std::nullopt;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    NBLOG_WARN("cannot read {}", file.string());
    return std::nullopt;
  }
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  std::string temp = path.string() + ".XXXXXX";
  Fd file(::mkstemp(temp.data()));
  if (file.get() < 0) {
    NBLOG_ERROR("cannot create a file beside {}: {}", path.string(), std::strerror(errno));
    return false;
  }
  const bool written = writeAll(file.get(), bytes) && ::fsync(file.get()) == 0 && file.close() &&
                       ::rename(temp.c_str(), path.c_str()) == 0;
  if (!written) {
    NBLOG_ERROR("cannot write {}: {}", path.string(), std::strerror(errno));
    ::unlink(temp.c_str());
    return false;
  }
  Fd folder(::open(path.parent_path().empty() ? "." : path.parent_path().c_str(), O_RDONLY | O_DIRECTORY));
  if (folder.get() >= 0) ::fsync(folder.get());
  return true;
}

}  // namespace nb::platform
