// The temporary file, its range index, the writes of received chunks and the
// two ways a download ends: the checked file, or an error.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <algorithm>
#include <limits>

#include "foundation/util/UtilFiles.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "stores/transfer/TransPortDB.h"
#include "transfer/download/DownloadTask.h"
#include "transfer/records/TransferRecords.h"

namespace nb {

namespace {

std::string parentOf(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

// Writes all of `data` at `pos`; false on any error or short write.
bool writeAll(int fd, const std::string& data, std::uint64_t pos) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pwrite(fd, data.data() + done, data.size() - done,
                               static_cast<off_t>(pos + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::optional<std::string> readAll(int fd) {
  std::string text;
  char buffer[4096];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) return text;
    text.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
}

}  // namespace

std::string DownloadTask::GetIndexFilePath() const { return item().strTemppath + ".tmp"; }

bool DownloadTask::CreateFile() {
  const std::string temp = item().strTemppath;
  if (temp.empty() || !Util::createfolder(parentOf(temp)) || !Util::createfile(temp)) {
    return false;
  }
  platform::UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CLOEXEC));
  if (!fd.ok()) return false;
  {
    std::lock_guard files(pFilesc());
    pFileHandle_.emplace(std::move(fd));
  }
  return OpenIndexFilePath();
}

bool DownloadTask::OpenIndexFilePath() {
  const std::string path = GetIndexFilePath();
  if (!Util::createfile(path)) return false;
  platform::UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  if (!fd.ok()) {
    NBLOG_ERROR("open download index error {}", item().strWebpath);
    return false;
  }
  const std::optional<std::string> text = readAll(fd.get());
  const std::uint64_t size = item().ullFilesize;
  // Bytes the temporary file can hold at all: what lies past its end was
  // never written, whatever the index says.
  const std::uint64_t written = std::min(size, Util::filesize(item().strTemppath));
  std::uint64_t offset = 0;
  {
    std::lock_guard files(pFilesc());
    pFinish().Clear();
    if (text) pFinish().LoadParisFromString(*text);
    if (pFinish().Size() > size) pFinish().Clear();
    pFinish().RemovePairs(written, std::numeric_limits<std::uint64_t>::max());
    offset = pFinish().Size();
    pFileIndexHandle_.emplace(std::move(fd));
  }
  // The index just read is what is saved: the first save is due a period
  // from now, not with the first chunk, whose flush would hold up the main
  // thread (where every download's bytes arrive) once for nearly every file.
  ullWriteTime_.store(platform::nowSeconds());
  updateItem([offset](TransTaskItem& item) { item.ullOffset = offset; });
  return true;
}

void DownloadTask::SaveIndexFilePath() {
  std::lock_guard files(pFilesc());
  saveIndexLocked();
}

void DownloadTask::saveIndexLocked() {
  if (bStop() || !pFileIndexHandle_) return;
  const int fd = pFileIndexHandle_->get();
  const std::string text = pFinish().OutPut();
  if (::ftruncate(fd, 0) != 0 || !writeAll(fd, text, 0) || ::fdatasync(fd) != 0) {
    NBLOG_WARN("download index not saved: {}", item().strWebpath);
  }
}

void DownloadTask::DeleteIndexFilePath() { Util::deletefile(GetIndexFilePath()); }

void DownloadTask::CloseFile() {
  std::lock_guard files(pFilesc());
  pFileHandle_.reset();
  pFileIndexHandle_.reset();
}

bool DownloadTask::WriteFile(const std::string& data, std::uint64_t pos) {
  if (bStop() || data.empty()) return false;
  std::lock_guard files(pFilesc());
  if (!pFileHandle_) return false;
  if (!writeAll(pFileHandle_->get(), data, pos)) return false;
  pFinish().InsertPart(pos, pos + data.size() - 1);
  const std::uint64_t offset = pFinish().Size();
  updateItem([offset](TransTaskItem& item) { item.ullOffset = offset; });
  addTranssize(data.size());
  bytesWritten_.fetch_add(data.size());
  if (services_.addSpeedTrans) services_.addSpeedTrans(data.size());
  // A write that completes the file is followed by its finish, which drops
  // the index: saving it first would only cost a flush on the main thread.
  const bool complete = offset == item().ullFilesize;
  const std::uint64_t now = platform::nowSeconds();
  if (!complete && now > ullWriteTime_.load() + 2) {
    services_.store->Update_DownloadOffset(nIndex(), offset);
    saveIndexLocked();
    ullWriteTime_.store(now);
  }
  return true;
}

bool DownloadTask::endOnce() {
  if (bStop()) return false;
  Stop();
  CloseFile();
  return true;
}

void DownloadTask::finish() {
  if (!endOnce()) return;
  DeleteIndexFilePath();
  const TransTaskItem before = item();
  const std::string temp = before.strTemppath;
  const std::uint64_t size = Util::filesize(temp);
  updateItem([](TransTaskItem& item) { item.nTransExpand = 1; });
  const std::string hash = Util::getfilehash(temp).value_or("");
  updateItem([](TransTaskItem& item) {
    item.nTransExpand = 0;
    item.nStatus = kTransFinished;
  });
  const TransTaskItem current = item();
  if (size == current.ullFilesize && hash == current.strFilehash) {
    const auto manager = services_.syncManager ? services_.syncManager(current.nMountid) : nullptr;
    if (!manager) {
      finishWithoutManager(current);
    } else if (!services_.downloadFinish || !services_.downloadFinish(*manager, current)) {
      keepVerified(current);
    }
    return;
  }
  NBLOG_ERROR("downloadfinish error: filesize={},{},filehash={},{} path:{}", size,
              current.ullFilesize, hash, current.strFilehash, current.strWebpath);
  const std::string aside = temp + "_error";
  if (Util::existfile(aside)) Util::deletefile(aside);
  Util::movefile(temp, aside);
  if (Util::existfile(temp)) Util::deletefile(temp);
  updateItem([](TransTaskItem& item) {
    item.nStatus = kTransFailed;
    item.strMsg = TransErrorText::kFileCheck;
  });
  report();
  services_.store->Update_DownloadError(current.nIndex, TransError::kFileCheck,
                                        TransErrorText::kFileCheck);
}

void DownloadTask::finishWithoutManager(const TransTaskItem& current) {
  report();
  const std::string& save = current.strSavepath;
  if (!save.empty()) {
    Util::createfolder(parentOf(save));
    if (Util::existfile(save)) Util::setfilelock(save, false);
    if (!Util::copyfileneedtemp(current.strTemppath, save)) {
      keepVerified(current);
      return;
    }
  }
  NBLOG_INFO("downloadfinish:{}", save);
  services_.store->Update_DownloadFinish(current.nIndex);
  if (services_.cache) services_.cache->addCacheFileByPath(current.strTemppath, current.strFilehash);
  Util::deletefile(current.strTemppath);
}

void DownloadTask::keepVerified(const TransTaskItem& current) {
  // The checked file is kept where the next attempt's first shortcut finds
  // it, instead of being fetched again.
  const std::string ok = okPath(current.strFilehash);
  if (!Util::existfile(ok) && !Util::movefile(current.strTemppath, ok)) {
    NBLOG_ERROR("verified download could not be kept: {}", current.strWebpath);
  }
  NBLOG_WARN("download placed nowhere, retried later: {}", current.strWebpath);
  postpone();
}

void DownloadTask::error(std::int64_t code, const std::string& msg) {
  if (!endOnce()) return;
  updateItem([&msg](TransTaskItem& item) {
    item.nStatus = kTransFailed;
    item.strMsg = msg;
  });
  const TransTaskItem current = item();
  if (services_.isLinked && !services_.isLinked()) {
    services_.store->Update_DownloadNormal(current.nIndex, current.ullOffset);
    setNStatus(kTransWaiting);
    report();
    return;
  }
  report();
  services_.store->Update_DownloadError(current.nIndex, code, msg);
}

}  // namespace nb
