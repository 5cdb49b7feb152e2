#pragma once
// File-system primitives of Util: thin, synchronous, stateless. Each takes
// absolute local paths as UTF-8 text, runs on the caller's thread and reports
// failure only through its result (false, 0 or nothing); no error detail is
// passed on and nothing throws. No locks are taken: callers that work on the
// same paths from several threads serialise through their own locks.
//
// Times are whole seconds since 1970 (truncated toward zero; 0 for times
// before 1970). Sizes are byte counts.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace nb::Util {

// ---- Creating and testing --------------------------------------------------

// A folder already there: true. A non-folder there: false. Else creates it
// with every missing parent.
bool createfolder(const std::string& path);
// Anything already there (a link is followed): true. Else creates an empty
// file; its parent must exist.
bool createfile(const std::string& path);
// These three follow symbolic links: a link to nothing does not exist.
bool isdir(const std::string& path);
bool isfile(const std::string& path);  // exists and is not a folder
bool existfile(const std::string& path);
// True unless the folder lists an entry other than dot names and "Icon\r";
// also true for a folder that cannot be listed or a missing path.
bool isemptydir(const std::string& path);
// The names of a folder's entries, without dot names, in the order the
// file system lists them; none when the folder cannot be listed.
std::vector<std::string> entryNames(const std::string& folder);

// ---- Moving, copying, deleting ---------------------------------------------
// Copies keep symbolic links as links, and file permissions and modification
// times. A copy that fails leaves nothing at the destination.

// Renames (or, across file systems, copies then removes) a file or folder.
// Fails when anything is already at `to`.
bool movefile(const std::string& from, const std::string& to);
// Removes whatever is at `to`, then copies `from` there (folders with all
// their contents). Fails, touching nothing, when `from` is missing, when both
// name the same item, or when `to` lies inside the folder `from`.
bool copyfile(const std::string& from, const std::string& to);
// The same paths (or the same item): true, nothing done. Something at `to`
// and !replace: true, nothing copied. Else as copyfile(from, to).
bool copyfile(const std::string& from, const std::string& to, bool replace);
// Merges folder `from` into `to` one top-level entry at a time: each entry is
// moved, or when the move fails copied with copyfile(..., replace); a failed
// copy stops the merge with false. Nothing below the top level is merged and
// `from` itself stays. A missing `from`: true. A file `from`: copied.
bool movefolder(const std::string& from, const std::string& to, bool replace);
// As movefolder, but every entry is copied and `from` stays whole.
bool copyfolder(const std::string& from, const std::string& to, bool replace);
// Replaces `to` by a copy of `from` made aside first at `to` + ".nbcopy", so
// no reader sees a half-written file; a stale ".nbcopy" is removed first.
bool copyfileneedtemp(const std::string& from, const std::string& to);
// Removes the item at once, a folder with everything in it. A missing path:
// false.
bool deletefile(const std::string& path);
// Moves the item to the user's Trash (freedesktop.org Trash through GIO).
bool deletefile2recyclebin(const std::string& path);
// undo: deletefile2recyclebin, else deletefile.
bool deletefolder(const std::string& path, bool undo);
// Trashes (undo) or deletes every top-level entry of `folder` that is not a
// folder (a link is taken as itself); sub-folders stay. Always true.
bool deletefileinfolder(const std::string& folder, bool undo);

// ---- Attributes ------------------------------------------------------------
// Reads describe the item itself: a final symbolic link is not followed.

// Size of the item (a folder's own entry size, not its contents); 0 on failure.
uint64_t filesize(const std::string& path);
// Kind of the item; nothing when it cannot be read.
std::optional<std::filesystem::file_type> filetype(const std::string& path);
uint64_t filemodifytime(const std::string& path);  // 0 on failure
// Birth time where the file system keeps it; 0 otherwise or on failure.
uint64_t filecreatetime(const std::string& path);
// Sets the modification time (the access time is left alone); failures are
// not reported.
void setfilemodifytime(const std::string& path, uint64_t dateline);
// Linux offers no way to set a birth time: does nothing.
void setfilecreatetime(const std::string& path, uint64_t dateline);

// The lock is the extended attribute "user.nubren.lock" (the immutable flag
// needs a privilege users lack). Locking also removes the write bits and keeps
// the previous mode in the attribute; unlocking restores the write bits it
// removed. Where the file system keeps no extended attributes nothing is
// locked and isfilelock stays false. Unlike the immutable flag, the lock does
// not stop the owner from renaming or deleting the file.
bool isfilelock(const std::string& path);
void setfilelock(const std::string& path, bool lock);
// Permissions set to exactly 0444 / 0644; failures are not reported.
void setfilereadonly(const std::string& path);
void setfilereadwirte(const std::string& path);

// SHA-1 of the content as 40 lower-case hex characters; nothing for a
// missing or unreadable file or a folder.
std::optional<std::string> getfilehash(const std::string& path);
// Sum of the sizes of every item below `folder` (files and folder entries; a
// link counts as the link itself); 0 when missing or empty.
uint64_t folderSizeAtPath(const std::string& folder);

// ---- Symbolic links --------------------------------------------------------

// Creates a symbolic link at `path` whose target text is `srcpath`.
bool createlink(const std::string& path, const std::string& srcpath);
// True when the item itself is a symbolic link (dangling or not).
bool checklinkdir(const std::string& path);
// The target text stored in the link; nothing when `path` is not a link.
std::optional<std::string> getlinksrcpath(const std::string& path);

}  // namespace nb::Util
