// Creating, testing, moving, copying and deleting of UtilFiles.h. Attributes,
// links and sizes live in UtilFileAttributes.cpp.

#include "foundation/util/UtilFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <iterator>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <gio/gio.h>

#include "foundation/text/StringHelpers.h"
#include "platform/Log.h"

namespace nb::Util {

namespace {

namespace fs = std::filesystem;

std::optional<struct stat> lstatOf(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) return std::nullopt;
  return st;
}

std::optional<struct stat> statOf(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return st;
}

// Anything at all at the path, a dangling link included.
bool anythingAt(const std::string& path) { return lstatOf(path).has_value(); }

bool isRealFolder(const std::string& path) {
  const auto st = lstatOf(path);
  return st && S_ISDIR(st->st_mode);
}

bool sameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether replacing `to` would destroy `from`: the same entry, or `from` a
// link to it.
bool sameItem(const std::string& from, const std::string& to) {
  const auto dst = lstatOf(to);
  if (!dst) return false;
  const auto src = lstatOf(from);
  const auto target = statOf(from);
  return (src && sameInode(*src, *dst)) || (target && sameInode(*target, *dst));
}

// Whether `to` lies below the folder `from`: such a copy would never end.
bool insideFolder(const std::string& from, const std::string& to) {
  std::error_code ec;
  const fs::path folder = fs::weakly_canonical(from, ec);
  if (ec) return false;
  const fs::path item = fs::weakly_canonical(to, ec);
  if (ec) return false;
  auto [f, i] = std::mismatch(folder.begin(), folder.end(), item.begin(), item.end());
  return f == folder.end() || (std::next(f) == folder.end() && f->empty());
}

void copyModifyTime(const std::string& from, const std::string& to) {
  if (const auto st = lstatOf(from)) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, st->st_mtim};
    ::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW);
  }
}

// Copies one item to the free path `to`: links as links, folders with their
// contents, files with their mode; modification times follow along.
bool copyTree(const std::string& from, const std::string& to) {
  std::error_code ec;
  const auto status = fs::symlink_status(from, ec);
  if (ec) return false;
  switch (status.type()) {
    case fs::file_type::symlink:
      fs::copy_symlink(from, to, ec);
      return !ec;
    case fs::file_type::regular:
      fs::copy_file(from, to, fs::copy_options::none, ec);
      break;
    case fs::file_type::directory: {
      if (!fs::create_directory(to, from, ec)) return false;
      for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!copyTree(lastaddslash(from) + name, lastaddslash(to) + name)) return false;
      }
      break;
    }
    default:  // sockets, pipes and devices are not content to copy
      return false;
  }
  if (ec) return false;
  copyModifyTime(from, to);
  return true;
}

// copyTree that leaves nothing behind when it fails.
bool copyItem(const std::string& from, const std::string& to) {
  if (copyTree(from, to)) return true;
  std::error_code ec;
  fs::remove_all(to, ec);
  return false;
}

bool removeAnything(const std::string& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
  return !ec;
}

bool mergeFolder(const std::string& from, const std::string& to, bool replace, bool move) {
  if (!existfile(from)) return true;
  if (!isdir(from)) return copyfile(from, to, replace);
  createfolder(to);
  for (const std::string& name : entryNames(from)) {
    const std::string src = lastaddslash(from) + name;
    const std::string dst = lastaddslash(to) + name;
    if (move && movefile(src, dst)) continue;
    if (!copyfile(src, dst, replace)) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> entryNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  return names;
}

bool createfolder(const std::string& path) {
  if (const auto st = statOf(path)) return S_ISDIR(st->st_mode);
  std::error_code ec;
  fs::create_directories(path, ec);
  return !ec && isdir(path);
}

bool createfile(const std::string& path) {
  if (existfile(path)) return true;
  if (path.empty()) return false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool isdir(const std::string& path) {
  const auto st = statOf(path);
  return st && S_ISDIR(st->st_mode);
}

bool isfile(const std::string& path) {
  const auto st = statOf(path);
  return st && !S_ISDIR(st->st_mode);
}

bool existfile(const std::string& path) { return statOf(path).has_value(); }

bool isemptydir(const std::string& path) {
  for (const std::string& name : entryNames(path)) {
    if (name.front() != '.' && name != "Icon\r") return false;
  }
  return true;
}

bool movefile(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) return false;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno == EXDEV) {
    return !anythingAt(to) && copyItem(from, to) && removeAnything(from);
  }
  if (errno == EINVAL || errno == ENOSYS) {  // no RENAME_NOREPLACE on this file system
    return !anythingAt(to) && ::rename(from.c_str(), to.c_str()) == 0;
  }
  return false;
}

bool copyfile(const std::string& from, const std::string& to) {
  // Checked before the destination goes, so a bad source loses nothing.
  if (!anythingAt(from) || to.empty() || sameItem(from, to)) return false;
  if (isdir(from) && insideFolder(from, to)) return false;
  if (anythingAt(to) && !removeAnything(to)) return false;
  return copyItem(from, to);
}

bool copyfile(const std::string& from, const std::string& to, bool replace) {
  if (from == to || sameItem(from, to)) return true;
  if (!replace && anythingAt(to)) return true;
  return copyfile(from, to);
}

bool movefolder(const std::string& from, const std::string& to, bool replace) {
  return mergeFolder(from, to, replace, true);
}

bool copyfolder(const std::string& from, const std::string& to, bool replace) {
  return mergeFolder(from, to, replace, false);
}

bool copyfileneedtemp(const std::string& from, const std::string& to) {
  try {
    const std::string temp = to + ".nbcopy";
    if (anythingAt(temp) && !removeAnything(temp)) return false;
    if (!copyfile(from, temp)) return false;
    // A file over a file (or over nothing): rename() swaps it in atomically,
    // so the destination is never missing.
    if (!isRealFolder(temp) && !isRealFolder(to)) {
      return ::rename(temp.c_str(), to.c_str()) == 0;
    }
    if (anythingAt(to) && !removeAnything(to)) return false;
    return movefile(temp, to);
  } catch (const std::exception& e) {
    NBLOG_ERROR("copy {}", e.what());
    return false;
  }
}

bool deletefile(const std::string& path) { return anythingAt(path) && removeAnything(path); }

bool deletefile2recyclebin(const std::string& path) {
  if (path.empty()) return false;
  std::unique_ptr<GFile, decltype(&g_object_unref)> file(g_file_new_for_path(path.c_str()),
                                                         g_object_unref);
  GError* error = nullptr;
  const bool ok = g_file_trash(file.get(), nullptr, &error) != FALSE;
  g_clear_error(&error);
  return ok;
}

bool deletefolder(const std::string& path, bool undo) {
  return undo ? deletefile2recyclebin(path) : deletefile(path);
}

bool deletefileinfolder(const std::string& folder, bool undo) {
  for (const std::string& name : entryNames(folder)) {
    const std::string path = lastaddslash(folder) + name;
    if (!isRealFolder(path)) {
      deletefolder(path, undo);
    }
  }
  return true;
}

}  // namespace nb::Util
