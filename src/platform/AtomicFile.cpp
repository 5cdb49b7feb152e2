#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/Log.h"

namespace nb::platform {

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, mode_t mode) {
  return writeFileAtomically(path, [bytes](int fd) { return writeAll(fd, bytes); }, mode);
}

bool writeFileAtomically(const std::string& path, const std::function<bool(int fd)>& fill,
                         mode_t mode) {
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    NBLOG_WARN("cannot write {}: {}", path, std::strerror(errno));
    return false;
  }
  const bool written = fill(fd) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
    NBLOG_WARN("cannot write {}: {}", path, std::strerror(errno));
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

std::optional<std::string> readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    return std::nullopt;
  }
  return std::move(buffer).str();
}

}  // namespace nb::platform
