#include "transfer/templates/DownloadTemplateTask.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <system_error>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "http/request/ASIHTTPRequest.h"
#include "platform/AppFolders.h"
#include "platform/Log.h"
#include "platform/OperationQueue.h"
#include "stores/catalogue/Mountsdb.h"
#include "sync/centre/SyncCenter.h"

namespace nb::transfer {

namespace fs = std::filesystem;

namespace {

// The hashes being fetched in this process: overlapping refreshes and
// templates shared by enterprises must not write one ".tmp" file at once.
class InFlightHash {
 public:
  explicit InFlightHash(const std::string& hash) : hash_(hash) {
    std::lock_guard lock(mutex());
    claimed_ = hashes().insert(hash_).second;
  }
  ~InFlightHash() {
    if (!claimed_) return;
    std::lock_guard lock(mutex());
    hashes().erase(hash_);
  }
  InFlightHash(const InFlightHash&) = delete;
  InFlightHash& operator=(const InFlightHash&) = delete;
  bool claimed() const { return claimed_; }

 private:
  static std::mutex& mutex() {
    static std::mutex lock;
    return lock;
  }
  static std::set<std::string>& hashes() {
    static std::set<std::string> set;
    return set;
  }
  std::string hash_;
  bool claimed_ = false;
};

bool fileExists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

bool writeWhole(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  out.close();
  return !out.fail();
}

}  // namespace

bool isTemplateFileHash(const std::string& hash) {
  if (hash.size() != 40) return false;
  for (const char c : hash) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool DownloadTemplateTask::download() const {
  // The hash comes from the server and becomes a file name.
  if (!isTemplateFileHash(strFilehash_)) {
    NBLOG_ERROR("template of enterprise {} has an unusable hash; not fetched", nEntID_);
    return false;
  }
  const fs::path target = platform::templateFolder() / strFilehash_;
  if (fileExists(target)) return true;
  const InFlightHash flight(strFilehash_);
  if (!flight.claimed()) return false;
  if (fileExists(target)) return true;  // the task before this one finished meanwhile

  const RetTemplateDownload ret =
      HTTPEngine::getEntTemplateUrl(UserData::shareUserData().userToken(), nEntID_, strFilehash_);
  if (ret.nStatusCode() != 200) return false;
  const auto request = http::ASIHTTPRequest::requestWithURL(ret.url);
  request->startSynchronous();
  const int status = request->responseStatusCode();
  const auto body = request->responseData();
  if (request->error() || status < 200 || status > 399 || !body) return false;

  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  const fs::path temporary = target.string() + ".tmp";
  if (!writeWhole(temporary, *body)) {
    NBLOG_ERROR("template {} could not be written", strFilehash_);
    return false;
  }
  if (FileMD5HashCreateWithPath(temporary.string()) != strFilehash_) {
    NBLOG_WARN("template {} arrived with other content; kept aside", strFilehash_);
    return false;
  }
  fs::rename(temporary, target, ec);
  return !ec;
}

void getentstemplate(const std::string& entIds) {
  const RetTemplates ret = HTTPEngine::getEntTemplates(UserData::shareUserData().userToken(), entIds);
  if (!ret.itemlist || ret.itemlist->empty()) return;
  Mountsdb& catalogue = Mountsdb::shareMountsdb();
  catalogue.removeTemplates(entIds);
  const auto queue = Util::getAppDelegate()->taskQueue();
  for (const TemplateItem& item : *ret.itemlist) {
    catalogue.addTemplate(item);
    if (!isTemplateFileHash(item.strHash) || fileExists(platform::templateFolder() / item.strHash)) {
      continue;
    }
    if (!queue) {
      NBLOG_ERROR("no task queue; template {} not fetched", item.strHash);
      continue;
    }
    queue->addOperation(std::make_shared<DownloadTemplateTask>(item.strHash, item.nEntID));
  }
}

void registerEnterpriseTemplates() {
  SyncCenter::shareSyncCenter().setEntsTemplateRefresh(
      [](const std::string& entIds) { getentstemplate(entIds); });
}

void unregisterEnterpriseTemplates() { SyncCenter::shareSyncCenter().setEntsTemplateRefresh(nullptr); }

}  // namespace nb::transfer
