#include "bridge/functions/LinkPathPageFunctions.h"

#include <filesystem>
#include <memory>
#include <optional>

#include "api/session/UserData.h"
#include "bridge/functions/PageArgs.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilNames.h"
#include "foundation/util/UtilStatus.h"
#include "foundation/util/UtilUrl.h"
#include "shell/alerts/NBAlert.h"
#include "shell/ui/BundleImage.h"
#include "shell/windows/WebWindowController.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb::bridge {

namespace {

constexpr std::int64_t kBackupLink = 1;
constexpr std::int64_t kSyncLink = 2;

struct LinkRequest {
  std::string webpath;
  std::string fullpath;
  std::int64_t mountid = 0;
  std::int64_t type = 0;
  bool overwrite = false;
};

LinkRequest readRequest(const JsonValue& args) {
  return {jsonTextOrEmpty(args, "webpath"), jsonTextOrEmpty(args, "fullpath"),
          jsonInt64(args, "mount_id"), jsonInt64(args, "type"), jsonFlag(args, "overwrite")};
}

// A path with symbolic links resolved for the parts that exist, the rest
// taken lexically; no trailing "/" but for the root. `lexicalFirst` drops
// "." and ".." before resolving, as a folder made later along a path with a
// missing part would see them.
std::string resolved(const std::string& path, bool lexicalFirst) {
  std::filesystem::path p(path);
  if (lexicalFirst) p = p.lexically_normal();
  std::error_code ec;
  std::filesystem::path r = std::filesystem::weakly_canonical(p, ec);
  if (ec) r = p.lexically_normal();
  std::string text = r.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

std::string lastComponent(const std::string& path) {
  std::string text = path;
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return std::filesystem::path(text).filename().string();
}

std::string refused(const std::string& key, const std::string& fill = {}) {
  std::string text = Util::localizedStringForKey(key);
  if (!fill.empty()) text = fillMarks(std::move(text), {fill});
  return Util::errorInfoWithCode(Util::kCallerText, text);
}

// The chosen folder holds the clashing link when its path is the shorter.
std::string conflictText(const std::string& chosen, const std::string& linkpath) {
  const char* key = chosen.size() < linkpath.size() ? "下级目录［%@］已绑定" : "上级目录［%@］已绑定";
  return fillMarks(Util::localizedStringForKey(key), {linkpath});
}

void tellUser(WebWindowController& window, const std::string& text, ui::AlertStyle style,
              const std::string& button) {
  NBAlert::Content content;
  content.informative = text;
  content.style = style;
  NBAlert::runModalSheetForWindow(window.window(), content,
                                  {Util::localizedStringForKey(button)});
}

enum class Overwrite { Yes, No, Cancel };

// Asked only of a sync link whose library knows the path and whose new
// folder already holds something.
Overwrite askOverwrite(WebWindowController& window, SyncManager& manager,
                       const LinkRequest& r) {
  if (r.type == kBackupLink) return Overwrite::No;
  if (manager.syncdb().get_single_file(r.webpath).nStatus == -1) return Overwrite::No;
  if (!Util::existfile(r.fullpath) || Util::isemptydir(r.fullpath)) return Overwrite::No;
  NBAlert::Content content;
  content.informative = fillMarks(
      Util::localizedStringForKey("本地［%@］文件夹不为空，同名文件将会覆盖，请选择？"), {r.fullpath});
  content.iconPath = ui::bundleImagePath("prompt");
  const int code = NBAlert::runModalSheetForWindow(
      window.window(), content,
      {Util::localizedStringForKey("云端覆盖本地"), Util::localizedStringForKey("本地覆盖云端"),
       Util::localizedStringForKey("重新选择")});
  if (code == NBAlert::kFirstButtonReturn) return Overwrite::Yes;
  if (code == NBAlert::kFirstButtonReturn + 1) return Overwrite::No;
  return Overwrite::Cancel;
}

}  // namespace

bool touchesConfigFolder(const std::string& folder) {
  // Either reading of the path may be the one the folder ends up at.
  const std::string config = resolved(UserData::shareUserData().configPath(), false);
  return Util::checkLinkPathHaveConfigPath(resolved(folder, false), config) ||
         Util::checkLinkPathHaveConfigPath(resolved(folder, true), config);
}

std::string gSetLinkPath(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return Util::errorInfoWithCode(Util::kBadParameters);
  const LinkRequest r = readRequest(*args);
  const std::shared_ptr<SyncManager> manager =
      SyncCenter::shareSyncCenter().GetSyncManager(r.mountid);
  if (!manager) return Util::errorInfoWithCode(Util::kNoSuchSync);
  const std::string name = lastComponent(r.fullpath);
  if (Util::stringContainsEmoji(name)) {
    return refused("项目名称［%@］存在特殊字符，无法上传。", name);
  }
  if (touchesConfigFolder(r.fullpath)) return refused("configpathlinkerror");
  std::string linkpath;
  if (!manager->check_dir_legecy(r.fullpath, linkpath)) {
    return Util::errorInfoWithCode(Util::kCallerText, conflictText(r.fullpath, linkpath));
  }
  if (r.type == kSyncLink && !manager->checkCanDownloadForFolder(r.webpath)) {
    return refused("同步目录[%@]下含有无下载权限的文件夹，同步目录自动取消绑定！",
                   r.webpath.empty() ? manager->_strMountName() : r.webpath);
  }
  manager->stop();
  manager->add_link(r.webpath, r.fullpath, r.overwrite, r.type);
  manager->start();
  SyncCenter::shareSyncCenter().setBCompareNow(true);
  return Util::errorInfoWithCode(Util::kStatusOk);
}

std::string gMoveLinkPath(const PageCall& call, WebWindowController& window) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return Util::errorInfoWithCode(Util::kBadParameters);
  LinkRequest r = readRequest(*args);
  r.overwrite = false;
  const std::shared_ptr<SyncManager> manager =
      SyncCenter::shareSyncCenter().GetSyncManager(r.mountid);
  if (!manager) return Util::errorInfoWithCode(Util::kNoSuchSync);
  std::string linkpath;
  if (!SyncCenter::shareSyncCenter().check_dir_legecy(r.fullpath, linkpath)) {
    tellUser(window, conflictText(r.fullpath, linkpath), ui::AlertStyle::Warning, "我知道了");
    return "{}";
  }
  // The configuration folder may not become a linked folder this way either.
  if (touchesConfigFolder(r.fullpath)) {
    tellUser(window, Util::localizedStringForKey("configpathlinkerror"), ui::AlertStyle::Warning,
             "我知道了");
    return "{}";
  }
  switch (askOverwrite(window, *manager, r)) {
    case Overwrite::Cancel: return "{}";
    case Overwrite::Yes: r.overwrite = true; break;
    case Overwrite::No: break;
  }
  const std::string old = manager->getnormalpath(r.webpath);
  const bool moveOld = !old.empty() && Util::existfile(old) && !Util::isemptydir(old);
  manager->stop();
  manager->remove_link(r.webpath);
  if (moveOld && !Util::movefile(old, r.fullpath) &&
      !Util::movefolder(old, r.fullpath, r.overwrite)) {
    // The library's other links go on syncing; the old link is not put
    // back, as part of its files may have moved already.
    manager->start();
    tellUser(window, Util::localizedStringForKey("移动目录失败，请重试！"),
             ui::AlertStyle::Critical, "确定");
    return Util::errorInfoWithCode(Util::kSyncSetupFailed);
  }
  manager->add_link(r.webpath, r.fullpath, r.overwrite, r.type);
  manager->start();
  return Util::errorInfoWithCode(Util::kStatusOk);
}

}  // namespace nb::bridge
