// Attributes, the lock flag, hashes, links and folder sizes of UtilFiles.h.

#include "foundation/util/UtilFiles.h"

#include <cerrno>
#include <charconv>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include "foundation/text/StringHelpers.h"

namespace nb::Util {

namespace {

namespace fs = std::filesystem;

// Holds the mode the file had before it was locked, as octal text.
constexpr char kLockAttribute[] = "user.nubren.lock";
constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

std::optional<struct stat> lstatOf(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) return std::nullopt;
  return st;
}

// Whole seconds toward zero; times before 1970 read as 0.
uint64_t seconds(const struct timespec& t) {
  return t.tv_sec > 0 ? static_cast<uint64_t>(t.tv_sec) : 0;
}

std::optional<mode_t> savedLockMode(const std::string& path) {
  char text[16] = {};
  const ssize_t n = ::getxattr(path.c_str(), kLockAttribute, text, sizeof text - 1);
  if (n < 0) return std::nullopt;
  unsigned mode = 0;
  std::from_chars(text, text + n, mode, 8);  // unreadable text: nothing to restore
  return static_cast<mode_t>(mode);
}

void lock(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || isfilelock(path)) return;
  const mode_t mode = st.st_mode & 07777;
  char text[16] = {};
  const auto end = std::to_chars(text, text + sizeof text, static_cast<unsigned>(mode), 8).ptr;
  // The attribute goes first: where it cannot be kept, nothing is changed.
  if (::setxattr(path.c_str(), kLockAttribute, text, static_cast<size_t>(end - text), 0) != 0) {
    return;
  }
  ::chmod(path.c_str(), mode & ~kWriteBits);
}

void unlock(const std::string& path) {
  struct stat st {};
  const auto saved = savedLockMode(path);
  if (!saved || ::stat(path.c_str(), &st) != 0) return;
  ::chmod(path.c_str(), (st.st_mode & 07777) | (*saved & kWriteBits));
  ::removexattr(path.c_str(), kLockAttribute);
}

}  // namespace

uint64_t filesize(const std::string& path) {
  const auto st = lstatOf(path);
  return st ? static_cast<uint64_t>(st->st_size) : 0;
}

std::optional<fs::file_type> filetype(const std::string& path) {
  if (path.empty()) return std::nullopt;
  std::error_code ec;
  const auto type = fs::symlink_status(path, ec).type();
  if (ec || type == fs::file_type::not_found || type == fs::file_type::none) return std::nullopt;
  return type;
}

uint64_t filemodifytime(const std::string& path) {
  const auto st = lstatOf(path);
  return st ? seconds(st->st_mtim) : 0;
}

uint64_t filecreatetime(const std::string& path) {
  struct statx stx {};
  if (path.empty() ||
      ::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &stx) != 0 ||
      (stx.stx_mask & STATX_BTIME) == 0 || stx.stx_btime.tv_sec <= 0) {
    return 0;
  }
  return static_cast<uint64_t>(stx.stx_btime.tv_sec);
}

void setfilemodifytime(const std::string& path, uint64_t dateline) {
  if (path.empty()) return;
  const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(dateline), 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

void setfilecreatetime(const std::string& /*path*/, uint64_t /*dateline*/) {
  // Linux keeps the birth time out of reach of every system call.
}

bool isfilelock(const std::string& path) {
  return !path.empty() && ::getxattr(path.c_str(), kLockAttribute, nullptr, 0) >= 0;
}

void setfilelock(const std::string& path, bool locked) {
  if (path.empty()) return;
  if (locked) {
    lock(path);
  } else {
    unlock(path);
  }
}

void setfilereadonly(const std::string& path) { ::chmod(path.c_str(), 0444); }

void setfilereadwirte(const std::string& path) { ::chmod(path.c_str(), 0644); }

std::optional<std::string> getfilehash(const std::string& path) {
  return FileMD5HashCreateWithPath(path);
}

uint64_t folderSizeAtPath(const std::string& folder) {
  uint64_t total = 0;
  std::error_code ec;
  const auto options = fs::directory_options::skip_permission_denied;
  for (fs::recursive_directory_iterator it(folder, options, ec), end; !ec && it != end;
       it.increment(ec)) {
    total += filesize(it->path().string());
  }
  return total;
}

bool createlink(const std::string& path, const std::string& srcpath) {
  if (path.empty() || srcpath.empty()) return false;
  std::error_code ec;
  fs::create_symlink(srcpath, path, ec);
  return !ec;
}

bool checklinkdir(const std::string& path) {
  const auto st = lstatOf(path);
  return st && S_ISLNK(st->st_mode);
}

std::optional<std::string> getlinksrcpath(const std::string& path) {
  if (path.empty()) return std::nullopt;
  std::error_code ec;
  const fs::path target = fs::read_symlink(path, ec);
  if (ec) return std::nullopt;
  return target.string();
}

}  // namespace nb::Util
