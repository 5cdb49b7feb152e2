#pragma once
// The vocabulary of transfer records beyond their fields (which the store
// and the engine share through api/models/TransportItem.h and
// TransTaskItem.h): the in-memory end status, the kinds of upload and
// download, and the failure numbers with the texts the engine stores with
// them. Pages show the texts as they stand, so they are kept exactly.

#include <cstdint>
#include <string>

#include "api/models/TransportItem.h"

namespace nb {

// A task's item carries this once its operation ended, whatever the outcome;
// its manager drops the task at its next pass. Never stored.
inline constexpr std::int64_t kTransEnded = 256;

// `nExpand` of an upload.
namespace UploadKind {
inline constexpr std::int64_t kNormal = 0;
// The local copy of a file opened for editing: on completion its size and
// time must still be what was sent, else it goes back to waiting.
inline constexpr std::int64_t kOpened = 1;
// By content hash only: no local path.
inline constexpr std::int64_t kHashOnly = 2;
// The server asked for the content again: always the whole file, no delta.
inline constexpr std::int64_t kFull = 3;
}  // namespace UploadKind

// `nExpand` of a download.
namespace DownloadKind {
inline constexpr std::int64_t kNormal = 0;
// A cloud file being opened: every other running download yields to it.
inline constexpr std::int64_t kOpen = 1;
// Prefetch into the content cache: no local path, not listed to pages.
inline constexpr std::int64_t kPrefetch = 256;
}  // namespace DownloadKind

// `nError` of a failed record. A failure the web API or a storage server
// reported carries the server's own code and message instead.
namespace TransError {
inline constexpr std::int64_t kOpenFile = 5;         // up: source; down: temporary file
inline constexpr std::int64_t kSessionOpen = 7;      // up, server gave no code
inline constexpr std::int64_t kChecksums = 8;        // up
inline constexpr std::int64_t kDeltaSend = 9;        // up
inline constexpr std::int64_t kResumeOffset = 10;    // up
inline constexpr std::int64_t kSessionClose = 12;    // up
inline constexpr std::int64_t kHash = 13;            // up: no 40-character content hash
inline constexpr std::int64_t kDeltaFile = 16;       // up
inline constexpr std::int64_t kWrongInfo = 21;       // up: hash-only upload, server wants data
inline constexpr std::int64_t kTaskFailed = 21;      // down: the task ended by an exception
inline constexpr std::int64_t kNoStorage = 23;       // up: create-file listed no storage server
inline constexpr std::int64_t kNoSource = 23;        // down: no source delivered
inline constexpr std::int64_t kFileCheck = 0;        // down: size or hash of the result wrong
inline constexpr std::int64_t kServerTimeout = 1001; // down: download addresses not fetched
// Asks for a later retry; never stored as a failure.
inline constexpr std::int64_t kRetryLater = 202;
}  // namespace TransError

// The texts stored with the engine's own failure numbers.
namespace TransErrorText {
inline constexpr const char* kUploadOpenFile = "打开文件失败";
inline constexpr const char* kDownloadOpenFile = "file open error";
inline constexpr const char* kHash = "文件读取失败";
inline constexpr const char* kWrongInfo = "文件信息不正确";
inline constexpr const char* kTaskFailed = "failed";
inline constexpr const char* kNoSourceTimeout = "Timeout";
// A language-table key: stored localized when the addresses were internal
// storage.
inline constexpr const char* kNoSourceInternalKey = "内部存储下载失败";
inline constexpr const char* kFileCheck = "file error";
inline constexpr const char* kServerTimeout = "server timeout";
}  // namespace TransErrorText

// The text the engine stores with one of its own failure numbers in one
// direction: "" for the numbers that carry none (7, 8, 9, 10, 12, 16, 23 of
// an upload) and for numbers that are not the engine's. Error 23 of a
// download is "Timeout" unless `internalStorage`, then the localized key.
std::string transErrorText(std::int64_t error, bool upload, bool internalStorage = false);

// Whether a failure number is stored with the record (status 5); 202 is not.
inline bool isStoredTransError(std::int64_t error) { return error != TransError::kRetryLater; }

}  // namespace nb
