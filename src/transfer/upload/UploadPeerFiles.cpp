// The upload session's side files and its delta data.

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "api/session/UserData.h"
#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "transfer/engine/TransferTask.h"
#include "transfer/upload/UploadPeer.h"

namespace nb {
namespace {

// The server's path hash names files here: nothing that could leave the
// folder or name it.
bool usableInName(const std::string& text) {
  return !text.empty() && text != "." && text != ".." && text.find('/') == std::string::npos &&
         text.find('\0') == std::string::npos;
}

void removeIfThere(const std::string& path) {
  if (path.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

}  // namespace

std::string UploadPeer::GetCacheTempPath() const {
  const TransTaskItem record = item();
  if (!usableInName(record.strPathhash) || !isContentHash(record.strFilehash)) return "";
  const std::string folder = UserData::shareUserData().getranscache();
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder + "/upload_" + record.strPathhash + "_" + record.strFilehash;
}

std::string UploadPeer::sidePath(const char* suffix) const {
  const std::string base = GetCacheTempPath();
  return base.empty() ? "" : base + suffix;
}

std::string UploadPeer::GetServerTarget() const {
  const std::string path = sidePath(".nbsvr");
  if (path.empty()) return "";
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void UploadPeer::SaveServerTarget() {
  const std::string path = sidePath(".nbsvr");
  if (path.empty()) return;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << strUrl();
  if (!out) NBLOG_ERROR("cannot write {}", path);
}

void UploadPeer::DeleteServerTarget() { removeIfThere(sidePath(".nbsvr")); }

void UploadPeer::CreateResetFile() {
  const std::string path = sidePath(".nbreset");
  if (path.empty()) return;
  std::ofstream out(path, std::ios::binary | std::ios::app);
  if (!out) NBLOG_ERROR("cannot write {}", path);
}

bool UploadPeer::CheckResetFile() const {
  const std::string path = sidePath(".nbreset");
  std::error_code ignored;
  return !path.empty() && std::filesystem::exists(path, ignored);
}

void UploadPeer::DeleteResetFile() { removeIfThere(sidePath(".nbreset")); }

bool UploadPeer::CheckDifFile() const {
  const std::string path = sidePath(".nbdif");
  std::error_code ignored;
  return !path.empty() && std::filesystem::exists(path, ignored);
}

bool UploadPeer::OpenDifFile() {
  if (pDifFileHandle_) return true;
  const std::string path = sidePath(".nbdif");
  if (path.empty()) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  pDifFileHandle_.emplace(fd);
  return true;
}

void UploadPeer::ClearDiffInfo() {
  pDifFileHandle_.reset();
  removeIfThere(sidePath(".nbdif"));
}

void UploadPeer::ChangeNormalUpload() {
  nPiecelen_ = 0;
  ClearDiffInfo();
}

std::uint64_t UploadPeer::GetFileSize() const {
  if (nPiecelen_ == 0) return item().ullFilesize;
  struct stat info {};
  if (pDifFileHandle_) {
    return ::fstat(pDifFileHandle_->get(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size)
                                                      : 0;
  }
  const std::string path = sidePath(".nbdif");
  return !path.empty() && ::stat(path.c_str(), &info) == 0
             ? static_cast<std::uint64_t>(info.st_size)
             : 0;
}

std::uint64_t UploadPeer::GetSendSize() const { return pieceLengthFor(item().ullFilesize); }

// Writes the delta data into a fresh ".nbdif". True when the matcher gave a
// delta; false when it gave none (".nbdif" is gone again) or the files could
// not be opened (`opened` false).
bool UploadPeer::matchIntoDifFile(bool& opened) {
  opened = true;
  if (pDifFileHandle_) return true;
  const std::string path = sidePath(".nbdif");
  const int fd =
      path.empty() ? -1 : ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd >= 0) pDifFileHandle_.emplace(fd);
  if (!pFileHandle_ || !pDifFileHandle_) {
    opened = false;
    return false;
  }
  pUploadFile_.setPiece(static_cast<std::int32_t>(nPiecelen_));
  if (pUploadFile_.resolve_file(fdOf(pFileHandle_), item().ullFilesize, fdOf(pDifFileHandle_))) {
    pServerHave_ = pUploadFile_.get_serverhave();
    return true;
  }
  ClearDiffInfo();
  return false;
}

bool UploadPeer::CreateDifFileCanReset() {
  bool opened = true;
  if (matchIntoDifFile(opened)) return true;
  if (!opened) return false;
  // No delta: the whole file goes plain. The marker keeps a resumed run
  // plain too, or it would read the plain offset as a delta position.
  nPiecelen_ = 0;
  CreateResetFile();
  return true;
}

bool UploadPeer::CreateDiffile() {
  bool opened = true;
  return matchIntoDifFile(opened);
}

}  // namespace nb
