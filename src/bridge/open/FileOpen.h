#pragma once
// One open of a library file for the user (the page function gOpen): finds
// or makes a local copy of the right content and opens it, or queues a
// download-to-open and answers so that the page shows its progress.
//
// Where the copy goes: the linked local file itself for a synced path; the
// opened-files folder (watched, so edits go back as uploads) when the user
// may write the current version; the temporary folder otherwise. A copy
// already at the target is never dropped unless the content cache holds its
// bytes under their own hash: otherwise it is moved aside.
//
// Runs on a bridge-queue thread; two opens of the same copy path run one
// after the other.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "api/models/TransportItem.h"
#include "foundation/json/JsonValue.h"
#include "stores/syncdb/SyncFileItem.h"

namespace nb {
class SyncManager;
}

namespace nb::bridge {

struct OpenRequest {
  std::string webpath;  // for library 0 a local path
  std::string opentype;  // "unopen": the note editor
  std::string filehash;
  std::string openpath;  // an application's desktop id, "openwith" or ""
  std::int64_t mountid = 0;
  std::string hid;  // a history version; "" the current one
  std::string uuidhash;
  std::string type;  // not empty: go by content hash, skip the server's open call
  bool readonly = false;
  bool lock = false;

  static OpenRequest from(const JsonValue& args);
};

class FileOpen {
 public:
  // `hwnd`: the calling window, which the note editor answers.
  FileOpen(OpenRequest request, std::int64_t hwnd);

  // The whole open; the page's answer.
  std::string run();
  // The answer of an open done at once, or failed.
  std::string plainAnswer() const;

 private:
  enum class ByHashForm { A, B, C };

  std::string runLocked();
  std::string openManagedCurrent();
  std::string openOther();
  std::string commonSteps(std::optional<SyncFileItem> row);
  std::string byHashOpen(ByHashForm form);
  // Step of commonSteps: a linked local path. An answer when the open ends
  // there.
  std::optional<std::string> useLinkedPath(const std::optional<SyncFileItem>& row);
  std::string copyFromSource(const std::string& source, bool plainCopy, bool readOnlyCopy);
  std::string downloadToOpen(const SyncFileItem& row, bool readOnlyCopy);
  std::string makeEmptyCopy(bool readOnlyCopy);
  // Clears the target of the copy; false when something stays there.
  bool clearTarget();
  std::string queueDownload(bool readonly, bool lockAfterAdd);

  bool readOnlyCopyFor(const std::optional<SyncFileItem>& row) const;
  void addHistory(std::uint64_t uploadtime);
  void lockWhenAsked(bool readOnlyCopy);
  // The open action: the note editor for "unopen", else the desktop.
  void openCopy(const std::string& path);
  // The same for a copy made here: read-only first when the page asked.
  void openMadeCopy(const std::string& path);
  void openDesktop(const std::string& path);
  std::string copyPathIn(const std::string& folder) const;

  std::string downloadAnswer(bool readonly) const;

  const OpenRequest request_;
  const std::int64_t hwnd_;
  std::shared_ptr<SyncManager> manager_;
  std::string key_;   // sha1 of "<mountid>_<webpath>"
  std::string name_;  // last component of the web path
  bool noWrite_ = false;
  TransportItem record_;
};

}  // namespace nb::bridge
