#include "bridge/windows/NoteWorkFolders.h"

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"

namespace nb::bridge {

NoteWorkFolders& NoteWorkFolders::shared() {
  static NoteWorkFolders folders;
  return folders;
}

std::string NoteWorkFolders::keyOf(std::int64_t mountid, const std::string& webpath) {
  return sha1HexDigest(std::to_string(mountid) + ":" + webpath);
}

void NoteWorkFolders::opened(const std::string& key, std::string folder, std::string fullpath) {
  std::lock_guard lock(mutex_);
  Note& note = notes_[key];
  note.folder = std::move(folder);
  note.fullpath = std::move(fullpath);
  note.open = true;
  note.closing = false;
}

void NoteWorkFolders::saveQueued(const std::string& key) {
  std::lock_guard lock(mutex_);
  Note& note = notes_[key];
  // A save asked for after the close finds the note gone; it holds nothing up.
  if (!note.closing) ++note.pendingSaves;
}

std::optional<bool> NoteWorkFolders::runSave(
    const std::string& key,
    const std::function<bool(const std::string& folder, const std::string& fullpath)>& save) {
  std::string folder;
  std::string fullpath;
  {
    std::lock_guard lock(mutex_);
    auto it = notes_.find(key);
    if (it == notes_.end()) return std::nullopt;
    Note& note = it->second;
    if (!note.open) {
      if (note.pendingSaves > 0) --note.pendingSaves;
      finishClose(it);
      return std::nullopt;
    }
    // Closed, and no save queued before the close is left: this one came
    // after it.
    if (note.closing && note.pendingSaves == 0) return std::nullopt;
    folder = note.folder;
    fullpath = note.fullpath;
  }
  // Outside the lock: a close meanwhile only marks the note closing, and its
  // deletion waits for this save.
  const bool saved = save(folder, fullpath);
  std::lock_guard lock(mutex_);
  auto it = notes_.find(key);
  if (it->second.pendingSaves > 0) --it->second.pendingSaves;
  finishClose(it);
  return saved;
}

void NoteWorkFolders::close(const std::string& key, const std::string& fallbackFolder) {
  std::lock_guard lock(mutex_);
  auto it = notes_.find(key);
  if (it == notes_.end()) {
    Util::deletefile(fallbackFolder);
    return;
  }
  it->second.closing = true;
  if (it->second.folder.empty()) it->second.folder = fallbackFolder;
  finishClose(it);
}

void NoteWorkFolders::finishClose(std::map<std::string, Note>::iterator it) {
  Note& note = it->second;
  if (note.pendingSaves > 0) return;
  if (note.closing) {
    Util::deletefile(note.folder);
    notes_.erase(it);
  } else if (!note.open) {
    notes_.erase(it);
  }
}

}  // namespace nb::bridge
