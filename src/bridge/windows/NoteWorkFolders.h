#pragma once
// The note editor's working folders: which note package each one was
// unpacked from, and the order of saves and closes. A save writes the
// package only back to the file its folder came from; a close that arrives
// while a save of the same note is queued or running deletes the folder
// only after that save ended, so a save never zips a half-deleted folder
// over the user's note.
//
// Thread-safe: saves run on bridge-queue threads, the rest on the main
// thread. Nothing here waits for another thread.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace nb::bridge {

class NoteWorkFolders {
 public:
  static NoteWorkFolders& shared();

  // The folder name of a note: sha1 hex of "<mountid>:<webpath>".
  static std::string keyOf(std::int64_t mountid, const std::string& webpath);

  // openNote unpacked `fullpath` into `folder`.
  void opened(const std::string& key, std::string folder, std::string fullpath);
  // A save of the note was queued (the page call's main-thread entry).
  void saveQueued(const std::string& key);
  // The body of a queued save: runs `save(folder, fullpath)` and answers
  // its result; nothing, without running it, when the note is not open.
  // Ends the save that saveQueued announced.
  std::optional<bool> runSave(
      const std::string& key,
      const std::function<bool(const std::string& folder, const std::string& fullpath)>& save);
  // The editor closed: the folder goes now, or once the saves queued
  // before have ended. A note not known here: `fallbackFolder` goes now.
  void close(const std::string& key, const std::string& fallbackFolder);

 private:
  struct Note {
    std::string folder;
    std::string fullpath;
    bool open = false;
    int pendingSaves = 0;
    bool closing = false;
  };
  // mutex_ held; deletes the folder when no save is pending.
  void finishClose(std::map<std::string, Note>::iterator it);

  std::mutex mutex_;
  std::map<std::string, Note> notes_;  // guarded by mutex_
};

}  // namespace nb::bridge
