#include "bridge/functions/PickerPageFunctions.h"

#include <optional>
#include <string>
#include <vector>

#include "api/session/UserData.h"
#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/PageArgs.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilDesktop.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilUrl.h"
#include "platform/AppFolders.h"
#include "platform/Log.h"
#include "shell/alerts/NBAlert.h"
#include "shell/drag/OperationManager.h"
#include "shell/ui/BundleImage.h"
#include "shell/ui/Ui.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "stores/cache/SyncCache.h"

namespace nb::bridge {

namespace {

using Answer = std::optional<std::string>;

// Answers the page's callback after the call returned.
void answerLater(const PageCall& call, const std::string& text) {
  const std::string answer = loggedAnswer(call, text);
  if (auto page = call.bridge.lock()) page->answer(call.callbackId, answer);
}

std::string pathAnswer(const std::string& path) {
  return pageAnswer(JsonValue::object({{"path", path}}));
}

std::string home() { return platform::homeFolder().string(); }

Answer gSelectPathDlg(const PageCall& call, WebWindowController& window) {
  NBLOG_DEBUG("{}", call.json());
  const std::optional<JsonValue> args = pageObject(call);
  const auto ui = ui::currentUi("gSelectPathDlg");
  if (!ui) return std::nullopt;
  ui->dialogs().chooseFolder(
      ui::FolderChooser{.startFolder = args ? jsonTextOrEmpty(*args, "path") : std::string()},
      window.window().get(), [call](std::optional<std::string> folder) {
        answerLater(call, folder ? pathAnswer(lastaddslash(*folder)) : "{}");
      });
  return std::nullopt;
}

Answer gGetComputerPath(const PageCall& call, WebWindowController& window) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return loggedAnswer(call, "{}");
  const std::string type = jsonTextOrEmpty(*args, "type");
  if (type != "other") return loggedAnswer(call, pathAnswer(Util::getComputerPath(type)));
  const auto ui = ui::currentUi("gGetComputerPath");
  if (!ui) return std::nullopt;
  ui->dialogs().chooseFolder(ui::FolderChooser{.startFolder = home()}, window.window().get(),
                             [call](std::optional<std::string> folder) {
                               answerLater(call, folder ? pathAnswer(*folder) : "{}");
                             });
  return std::nullopt;
}

std::string listAnswer(const std::vector<std::string>& paths) {
  std::vector<JsonValue> list;
  for (const std::string& path : paths) list.push_back(JsonValue::object({{"path", path}}));
  return pageAnswer(JsonValue::object({{"list", JsonValue::array(std::move(list))}}));
}

// The question before adding what the user chose; none for one plain file.
std::optional<std::string> addQuestion(const std::vector<std::string>& paths) {
  if (paths.size() != 1) {
    std::string text = Util::localizedStringForKey("您确定要添加［%lu］个项目吗？");
    const auto mark = text.find("%lu");
    if (mark != std::string::npos) text.replace(mark, 3, std::to_string(paths.size()));
    return text;
  }
  if (!Util::isdir(paths.front())) return std::nullopt;
  return fillMarks(Util::localizedStringForKey("您确定要添加［%@］文件夹吗？"),
                   {getFilename(lastremoveslash(paths.front()))});
}

Answer gAddFileDlg(const PageCall& call, WebWindowController& window) {
  NBLOG_DEBUG("{}", call.json());
  const auto ui = ui::currentUi("gAddFileDlg");
  if (!ui) return std::nullopt;
  std::weak_ptr<ui::WebWindow> weakWindow = window.window();
  ui->dialogs().chooseFiles(
      ui::FilesChooser{.startFolder = home()}, window.window().get(),
      [call, weakWindow](std::optional<std::vector<std::string>> paths) {
        if (!paths) return answerLater(call, "{}");
        const std::optional<std::string> question = addQuestion(*paths);
        if (!question) return answerLater(call, listAnswer(*paths));
        const auto page = weakWindow.lock();
        if (!page) return;
        NBAlert::showNBSheetModalForWindow(
            page,
            NBAlert::Content{.message = "",
                             .informative = *question,
                             .iconPath = ui::bundleImagePath("prompt")},
            std::vector<std::string>{Util::localizedStringForKey("确定"),
                                     Util::localizedStringForKey("取消")},
            [call, list = listAnswer(*paths)](int code) {
              answerLater(call, code == NBAlert::kFirstButtonReturn ? list : "{}");
            });
      });
  return std::nullopt;
}

Answer gGetDragFiles(const PageCall& call, WebWindowController& window) {
  const bool webWindow = dynamic_cast<LaunchpadWindowController*>(&window) ||
                         dynamic_cast<BrowserWebWindowController*>(&window);
  std::string answer = "{}";
  if (NBWebViewDelegate::checkLogin() && webWindow) {
    answer = window.dragInformation().value_or("{}");
  }
  return loggedAnswer(call, answer);
}

// One dragged item with its local path; the cached content is put there
// now, so that the drag can carry it as a file.
std::optional<drag_item> prepared(const JsonValue& element) {
  drag_item item = drag_item::initWithDictionary(element);
  const std::string name = getFilename(item.webpath);
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  const std::string folder = UserData::shareUserData().openPath() + "/" +
                             sha1HexDigest(std::to_string(item.mountid) + "_" + item.webpath);
  Util::createfolder(folder);
  item.fullpath = folder + "/" + name;
  SyncCache& cache = SyncCache::shareSyncCache();
  const std::string entry = cache.getFullPathByFileHash(item.filehash);
  if (!entry.empty()) item.cached = cache.copyDecrypt(entry, item.fullpath);
  return item;
}

Answer gSetDragStart(const PageCall& call, WebWindowController& window) {
  NBLOG_DEBUG("{}", call.json());
  if (!dynamic_cast<LaunchpadWindowController*>(&window)) return std::nullopt;
  const std::optional<JsonValue> args = pageObject(call);
  if (!args || !(*args)["list"].isArray()) return std::nullopt;
  std::vector<drag_item> items;
  for (const JsonValue& element : (*args)["list"].elements()) {
    if (auto item = prepared(element)) items.push_back(std::move(*item));
  }
  WebWindowController::DragOutTarget target;
  if (!items.empty()) {
    target.handledrag2finder = [items](const std::string& folder) {
      OperationManager::sharedInstance().dragendinfinder(items, folder);
    };
    target.handledrag2otherapps = [items] {
      OperationManager::sharedInstance().dragendinothers(items);
    };
  }
  std::vector<std::string> cachedCopies;
  for (const drag_item& item : items) {
    if (item.cached) cachedCopies.push_back(item.fullpath);
  }
  window.window()->setDragOutFiles(std::move(cachedCopies));
  window.setDragOutTarget(std::move(target));
  window.set_dragitems(std::move(items));
  return std::nullopt;
}

Answer gSetDragEnd(const PageCall& call, WebWindowController&) {
  NBLOG_DEBUG("{}", call.json());
  return std::nullopt;
}

}  // namespace

void registerPickerPageFunctions() {
  setPageHandler("gSelectPathDlg", gSelectPathDlg);
  setPageHandler("gGetComputerPath", gGetComputerPath);
  setPageHandler("gAddFileDlg", gAddFileDlg);
  setPageHandler("gGetDragFiles", gGetDragFiles);
  setPageHandler("gSetDragStart", gSetDragStart);
  setPageHandler("gSetDragEnd", gSetDragEnd);
}

}  // namespace nb::bridge
