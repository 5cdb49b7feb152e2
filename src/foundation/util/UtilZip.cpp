#include "foundation/util/UtilZip.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include <zip.h>

#include "platform/AtomicFile.h"
#include "platform/Log.h"

namespace nb::Util {

namespace {

namespace fs = std::filesystem;

struct ZipClose {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipClose>;

struct ZipFileClose {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileClose>;

enum class EntryKind { kFolder, kFile, kLink };

struct Entry {
  zip_uint64_t index = 0;
  std::vector<std::string> parts;  // the cleaned relative path
  EntryKind kind = EntryKind::kFile;
  mode_t mode = 0;
  time_t mtime = 0;
};

// The parts of a relative name with "." and empty parts dropped; nothing for
// an absolute name or one that climbs with "..".
std::optional<std::vector<std::string>> safeParts(const std::string& name) {
  if (name.empty() || name.front() == '/') {
    return std::nullopt;
  }
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= name.size()) {
    const size_t slash = std::min(name.find('/', start), name.size());
    const std::string part = name.substr(start, slash - start);
    if (part == "..") {
      return std::nullopt;
    }
    if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  return parts;
}

// Whether a link at `linkParts` with `target` stays inside the root, walking
// the target's parts from the link's folder.
bool linkStaysInside(const std::vector<std::string>& linkParts, const std::string& target) {
  if (target.empty() || target.front() == '/') {
    return false;
  }
  std::vector<std::string> where(linkParts.begin(), linkParts.end() - 1);
  size_t start = 0;
  while (start <= target.size()) {
    const size_t slash = std::min(target.find('/', start), target.size());
    const std::string part = target.substr(start, slash - start);
    if (part == "..") {
      if (where.empty()) {
        return false;
      }
      where.pop_back();
    } else if (!part.empty() && part != ".") {
      where.push_back(part);
    }
    start = slash + 1;
  }
  return true;
}

std::optional<std::string> readEntry(zip_t* archive, zip_uint64_t index, zip_uint64_t size) {
  ZipFilePtr file(zip_fopen_index(archive, index, 0));
  if (!file) {
    return std::nullopt;
  }
  std::string bytes(size, '\0');
  if (size > 0 && zip_fread(file.get(), bytes.data(), size) != static_cast<zip_int64_t>(size)) {
    return std::nullopt;
  }
  return bytes;
}

std::optional<Entry> describeEntry(zip_t* archive, zip_uint64_t index) {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive, index, 0, &st) != 0 || (st.valid & ZIP_STAT_NAME) == 0) {
    return std::nullopt;
  }
  const std::string name = st.name;
  auto parts = safeParts(name);
  if (!parts || parts->empty()) {
    NBLOG_WARN("zip entry refused: {}", name);
    return std::nullopt;
  }
  Entry entry{index, std::move(*parts), EntryKind::kFile, 0644,
              (st.valid & ZIP_STAT_MTIME) != 0 ? st.mtime : 0};
  zip_uint8_t opsys = 0;
  zip_uint32_t attributes = 0;
  const bool unixMode = zip_file_get_external_attributes(archive, index, 0, &opsys, &attributes) == 0 &&
                        opsys == ZIP_OPSYS_UNIX && (attributes >> 16) != 0;
  const auto mode = static_cast<mode_t>(attributes >> 16);
  if (name.back() == '/' || (unixMode && S_ISDIR(mode))) {
    entry.kind = EntryKind::kFolder;
    entry.mode = 0755;
  } else if (unixMode && S_ISLNK(mode)) {
    entry.kind = EntryKind::kLink;
    const auto target = readEntry(archive, index, st.size);
    if (!target || !linkStaysInside(entry.parts, *target)) {
      NBLOG_WARN("zip link refused: {}", name);
      return std::nullopt;
    }
  }
  if (unixMode && entry.kind != EntryKind::kLink) {
    entry.mode = (mode & 0777) | (entry.kind == EntryKind::kFolder ? 0700 : 0600);
  }
  return entry;
}

// The entry's full path, made sure that no existing folder on the way is a
// symbolic link (writing through one could land anywhere).
std::optional<fs::path> placeFor(const fs::path& root, const Entry& entry) {
  fs::path path = root;
  for (size_t i = 0; i + 1 < entry.parts.size(); ++i) {
    path /= entry.parts[i];
    std::error_code ec;
    const auto status = fs::symlink_status(path, ec);
    if (fs::is_symlink(status)) {
      NBLOG_WARN("zip entry would pass a link: {}", path.string());
      return std::nullopt;
    }
    if (!fs::exists(status) && !fs::create_directory(path, ec)) {
      return std::nullopt;
    }
  }
  return path / entry.parts.back();
}

void setTimes(const fs::path& path, time_t mtime) {
  if (mtime <= 0) {
    return;
  }
  const timespec times[2] = {{0, UTIME_OMIT}, {mtime, 0}};
  utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

bool writeEntry(zip_t* archive, const fs::path& root, const Entry& entry) {
  const auto path = placeFor(root, entry);
  if (!path) {
    return false;
  }
  std::error_code ec;
  if (entry.kind == EntryKind::kFolder) {
    if (!fs::is_directory(fs::symlink_status(*path, ec)) && !fs::create_directory(*path, ec)) {
      return false;
    }
    ::chmod(path->c_str(), entry.mode);
    return true;
  }
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive, entry.index, 0, &st) != 0) {
    return false;
  }
  if (entry.kind == EntryKind::kLink) {
    const auto bytes = readEntry(archive, entry.index, st.size);
    if (!bytes) {
      return false;
    }
    const fs::path temp = path->string() + ".nblink";
    fs::remove(temp, ec);
    fs::create_symlink(*bytes, temp, ec);
    if (ec) {
      return false;
    }
    fs::rename(temp, *path, ec);
    return !ec;
  }
  ZipFilePtr file(zip_fopen_index(archive, entry.index, 0));
  if (!file) {
    return false;
  }
  // Streamed: a package may hold files larger than is wise to keep in memory.
  const auto copy = [&file](int fd) {
    std::string chunk(64 * 1024, '\0');
    for (;;) {
      const zip_int64_t n = zip_fread(file.get(), chunk.data(), chunk.size());
      if (n <= 0) {
        return n == 0;
      }
      if (!platform::writeAll(fd, std::string_view(chunk.data(), static_cast<size_t>(n)))) {
        return false;
      }
    }
  };
  if (!platform::writeFileAtomically(path->string(), copy, entry.mode)) {
    return false;
  }
  setTimes(*path, entry.mtime);
  return true;
}

// Adds one file, folder or link of the walk under its relative name, with
// its mode and time, so that unzip() gives it back as it was.
bool addToArchive(zip_t* archive, const fs::directory_entry& item, const std::string& name) {
  struct stat st;
  if (::lstat(item.path().c_str(), &st) != 0) {
    return false;
  }
  zip_int64_t index = -1;
  if (S_ISDIR(st.st_mode)) {
    index = zip_dir_add(archive, name.c_str(), ZIP_FL_ENC_UTF_8);
  } else {
    zip_source_t* source = nullptr;
    if (S_ISLNK(st.st_mode)) {
      std::error_code ec;
      const std::string target = fs::read_symlink(item.path(), ec).string();
      if (ec) {
        return false;
      }
      // The bytes must live until zip_close; libzip frees the copy itself.
      source = zip_source_buffer(archive, ::strdup(target.c_str()), target.size(), 1);
    } else if (S_ISREG(st.st_mode)) {
      source = zip_source_file(archive, item.path().c_str(), 0, -1);
    } else {
      return true;  // sockets, fifos and devices have no place in an archive
    }
    if (source == nullptr) {
      return false;
    }
    index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
      zip_source_free(source);
      return false;
    }
  }
  const auto at = static_cast<zip_uint64_t>(index);
  return index >= 0 &&
         zip_file_set_external_attributes(archive, at, 0, ZIP_OPSYS_UNIX,
                                          static_cast<zip_uint32_t>(st.st_mode) << 16) == 0 &&
         zip_file_set_mtime(archive, at, st.st_mtime, 0) == 0;
}

}  // namespace

bool unzip(const std::string& archive, const std::string& dst) {
  int error = 0;
  ZipPtr zip(zip_open(archive.c_str(), ZIP_RDONLY, &error));
  if (!zip) {
    NBLOG_WARN("cannot open zip {}: {}", archive, error);
    return false;
  }
  const zip_int64_t count = zip_get_num_entries(zip.get(), 0);
  std::vector<Entry> entries;
  for (zip_int64_t i = 0; i < count; ++i) {
    auto entry = describeEntry(zip.get(), static_cast<zip_uint64_t>(i));
    if (!entry) {
      return false;
    }
    entries.push_back(std::move(*entry));
  }
  // Links go last, so no entry of the archive is ever written through one.
  std::stable_partition(entries.begin(), entries.end(),
                        [](const Entry& e) { return e.kind != EntryKind::kLink; });
  std::error_code ec;
  fs::create_directories(dst, ec);
  bool ok = fs::is_directory(dst, ec);
  for (const auto& entry : entries) {
    ok = ok && writeEntry(zip.get(), dst, entry);
  }
  // Folder times last: writing their files moved them.
  for (auto it = entries.rbegin(); ok && it != entries.rend(); ++it) {
    if (it->kind == EntryKind::kFolder) {
      fs::path path = dst;
      for (const auto& part : it->parts) {
        path /= part;
      }
      setTimes(path, it->mtime);
    }
  }
  return ok;
}


bool zip(const std::string& folder, const std::string& archive) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    return false;
  }
  int error = 0;
  ZipPtr zip(zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error));
  if (!zip) {
    NBLOG_WARN("cannot create zip {}: {}", archive, error);
    return false;
  }
  std::vector<fs::directory_entry> items;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!fs::equivalent(it->path(), archive, ec)) {
      items.push_back(*it);
    }
    ec.clear();
  }
  if (ec) {
    return false;
  }
  std::sort(items.begin(), items.end());
  for (const auto& item : items) {
    std::string name = item.path().lexically_relative(folder).generic_string();
    if (item.is_directory(ec) && !item.is_symlink(ec)) {
      name += "/";
    }
    if (!addToArchive(zip.get(), item, name)) {
      NBLOG_WARN("cannot add {} to {}: {}", name, archive, zip_strerror(zip.get()));
      return false;
    }
  }
  if (zip_close(zip.get()) != 0) {
    NBLOG_WARN("cannot write zip {}: {}", archive, zip_strerror(zip.get()));
    return false;
  }
  zip.release();  // closed: zip_close freed it
  return true;
}

}  // namespace nb::Util
