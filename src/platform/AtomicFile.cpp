#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/Log.h"
#include "platform/UniqueFd.h"

namespace nb::platform {

namespace fs = std::filesystem;

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool writeFileAtomically(const fs::path& path, std::string_view bytes, mode_t mode) {
  return writeFileAtomically(path, [bytes](int fd) { return writeAll(fd, bytes); }, mode);
}

bool writeFileAtomically(const fs::path& path, const std::function<bool(int fd)>& fill,
                         mode_t mode) {
  std::string temp = path.string() + ".XXXXXX";
  UniqueFd file(::mkostemp(temp.data(), O_CLOEXEC));
  if (!file.ok()) {
    NBLOG_ERROR("cannot create a file beside {}: {}", path.string(), std::strerror(errno));
    return false;
  }
  const bool written = fill(file.get()) && ::fchmod(file.get(), mode) == 0 &&
                       ::fsync(file.get()) == 0 && file.close() &&
                       ::rename(temp.c_str(), path.c_str()) == 0;
  if (!written) {
    NBLOG_ERROR("cannot write {}: {}", path.string(), std::strerror(errno));
    ::unlink(temp.c_str());
    return false;
  }
  const fs::path parent = path.parent_path();
  UniqueFd folder(::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.ok()) ::fsync(folder.get());
  return true;
}

std::optional<std::string> readWholeFile(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    NBLOG_WARN("cannot read {}", file.string());
    return std::nullopt;
  }
  std::string bytes(std::istreambuf_iterator<char>(in), {});
  if (in.bad()) {
    NBLOG_WARN("cannot read {}", file.string());
    return std::nullopt;
  }
  return bytes;
}

}  // namespace nb::platform
