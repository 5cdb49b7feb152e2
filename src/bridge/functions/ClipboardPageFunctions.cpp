#include "bridge/functions/ClipboardPageFunctions.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "api/session/UserData.h"
#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilFiles.h"
#include "platform/DesktopApps.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/OperationQueue.h"
#include "shell/ui/Ui.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "stores/cache/SyncCache.h"

namespace nb::bridge {

namespace {

using Answer = std::optional<std::string>;

constexpr const char* kNoAnswer = "{}";

// A new empty file "<yyyyMMddHHmmss>XXXXXX.jpg" in `folder` (local time):
// the time-stamped name of a picture being made, unique even when two are
// made within one second. Nothing when it cannot be made.
std::optional<std::string> makeStampedFile(const std::string& folder) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::array<char, 16> stamp{};
  std::strftime(stamp.data(), stamp.size(), "%Y%m%d%H%M%S", &local);
  std::string name = folder + "/" + stamp.data() + "XXXXXX.jpg";
  const int fd = ::mkstemps(name.data(), 4);
  if (fd < 0) {
    NBLOG_WARN("cannot make a screenshot file in {}", folder);
    return std::nullopt;
  }
  ::close(fd);
  return name;
}

struct Kept {
  std::string path;
  std::string filehash;
};

// Gives the picture at `stamped` its content name "<sha1>.jpg" in `folder`;
// when that file exists already the stamped one goes. Nothing (the stamped
// file left) when it cannot be hashed or renamed.
std::optional<Kept> keepByContent(const std::string& stamped, const std::string& folder) {
  const auto hash = Util::getfilehash(stamped);
  if (!hash || !isContentHash(*hash)) return std::nullopt;
  Kept kept{folder + "/" + *hash + ".jpg", *hash};
  // A link never replaces an existing name, so a picture made meanwhile
  // under the same name is not overwritten.
  if (::link(stamped.c_str(), kept.path.c_str()) != 0 && errno != EEXIST) {
    NBLOG_WARN("cannot keep the picture {}: {}", kept.path, std::strerror(errno));
    return std::nullopt;
  }
  ::unlink(stamped.c_str());
  return kept;
}

std::string jsonText(const JsonValue& value) { return JSONString(value).value_or(kNoAnswer); }

void logged(const PageCall& call, const std::string& answer) {
  NBLOG_DEBUG("{},{}", call.json(), answer);
}

std::shared_ptr<ui::Ui> uiFor(const char* caller) { return ui::currentUi(caller); }

Answer gSetClipboardData(const PageCall& call, WebWindowController&) {
  NBLOG_INFO("{}", call.json());
  if (auto ui = uiFor("gSetClipboardData")) ui->clipboard().setText(call.json());
  return std::nullopt;
}

Answer gSetClipboardDataHtml(const PageCall& call, WebWindowController&) {
  NBLOG_INFO("{}", call.json());
  if (auto ui = uiFor("gSetClipboardDataHtml")) {
    ui->clipboard().setHtmlOnly("<html><body>" + call.json() + "</body></html>");
  }
  return std::nullopt;
}

Answer gGetClipboardData(const PageCall& call, WebWindowController&) {
  auto ui = uiFor("gGetClipboardData");
  if (!ui) {
    logged(call, kNoAnswer);
    return kNoAnswer;
  }
  // Answered from the clipboard's callbacks, after this call returned.
  pasteFromClipboard(ui->clipboard(), UserData::shareUserData().getscreenshotpath(),
                     [call](const std::string& answer) {
                       logged(call, answer);
                       if (auto bridge = call.bridge.lock()) bridge->answer(call.callbackId, answer);
                     });
  return std::nullopt;
}

Answer gScreenshot(const PageCall&, WebWindowController&) {
  auto ui = uiFor("gScreenshot");
  if (!ui) return kNoAnswer;
  return takeScreenshot(ui->clipboard(), ui->screenCapture(),
                        UserData::shareUserData().getscreenshotpath());
}

Answer gGetScreenshotPath(const PageCall& call, WebWindowController&) {
  const std::string answer =
      showScreenshot(call.json(), UserData::shareUserData().getscreenshotpath(), {});
  logged(call, answer);
  return answer;
}

Answer gGetUserImagePath(const PageCall& call, WebWindowController& window) {
  auto ui = uiFor("gGetUserImagePath");
  if (!ui) return std::string();
  // A sheet on a browser window; the other windows get a chooser of its own.
  ui::WebWindow* parent =
      dynamic_cast<BrowserWebWindowController*>(&window) ? window.window().get() : nullptr;
  // The bare path is the answer (the page reads text that is no JSON as
  // it is); "" for a cancel becomes the status answer.
  std::string path = ui->dialogs().chooseImage(parent);
  logged(call, path);
  return path;
}

}  // namespace

void pasteFromClipboard(ui::Clipboard& clipboard, const std::string& folder,
                        std::function<void(std::string answer)> done) {
  auto finish = std::make_shared<std::function<void(std::string)>>(std::move(done));
  clipboard.requestFiles([&clipboard, folder, finish](std::vector<std::string> paths) {
    if (!paths.empty()) {
      std::vector<JsonValue> list;
      for (const std::string& path : paths) list.push_back(JsonValue::object({{"path", path}}));
      (*finish)(jsonText(JsonValue::object({{"list", JsonValue::array(std::move(list))}})));
      return;
    }
    const auto stamped = makeStampedFile(folder);
    if (!stamped) {
      (*finish)(kNoAnswer);
      return;
    }
    clipboard.requestImageAsJpeg(*stamped, [stamped = *stamped, folder, finish](bool written) {
      const auto kept = written ? keepByContent(stamped, folder) : std::nullopt;
      if (!written) ::unlink(stamped.c_str());
      if (!kept) {
        (*finish)(kNoAnswer);
        return;
      }
      JsonValue entry = JsonValue::object({{"path", kept->path}, {"filehash", kept->filehash}});
      (*finish)(jsonText(JsonValue::object(
          {{"list", JsonValue::array({std::move(entry)})}, {"type", "screenshot"}})));
    });
  });
}

std::string takeScreenshot(ui::Clipboard& clipboard, ui::ScreenCapture& capture,
                           const std::string& folder) {
  const auto stamped = makeStampedFile(folder);
  if (!stamped) return kNoAnswer;
  auto captured = std::make_shared<std::promise<bool>>();
  std::future<bool> answer = captured->get_future();
  platform::MainThread::post([&capture, &clipboard, path = *stamped, captured] {
    capture.captureToFile(path, [&clipboard, path, captured](bool ok) {
      // The decoded picture, so that every program can paste it.
      captured->set_value(ok && clipboard.setImageFromFile(path));
    });
  });
  if (!answer.get()) {
    ::unlink(stamped->c_str());
    return kNoAnswer;
  }
  const auto kept = keepByContent(*stamped, folder);
  if (!kept) return kNoAnswer;
  return jsonText(JsonValue::object({{"path", kept->path}, {"filehash", kept->filehash}}));
}

std::string showScreenshot(const std::string& json, const std::string& folder,
                           const transfer::DownloadImageForUrlTask::Opener& opener) {
  const auto args = dictionaryFromString(json);
  if (!args || !args->isObject()) return kNoAnswer;
  // Both name a file that is then opened: only a content hash and a
  // picture extension may.
  const std::string filehash = jsonTextOrEmpty(*args, "filehash");
  std::string ext = jsonTextOrEmpty(*args, "ext");
  if (ext.empty()) ext = "jpg";
  if (!isContentHash(filehash) || (ext != "jpg" && ext != "jpeg" && ext != "png" && ext != "gif")) {
    NBLOG_WARN("no screenshot is named {}.{}", filehash, ext);
    return kNoAnswer;
  }
  const std::string path = folder + "/" + filehash + "." + ext;
  if (::access(path.c_str(), F_OK) == 0) {
    if (opener) {
      opener(path);
    } else {
      platform::openFile(path);
    }
    return jsonText(JsonValue::object({{"path", path}}));
  }
  auto queue = Util::getAppDelegate()->taskQueue();
  if (queue) {
    queue->addOperation(std::make_shared<transfer::DownloadImageForUrlTask>(
        jsonTextOrEmpty(*args, "url"), path, opener));
  }
  return kNoAnswer;
}

void registerClipboardPageFunctions() {
  setPageHandler("gSetClipboardData", gSetClipboardData);
  setPageHandler("gSetClipboardDataHtml", gSetClipboardDataHtml);
  setPageHandler("gGetClipboardData", gGetClipboardData);
  setPageHandler("gScreenshot", gScreenshot);
  setPageHandler("gGetScreenshotPath", gGetScreenshotPath);
  setPageHandler("gGetUserImagePath", gGetUserImagePath);
}

}  // namespace nb::bridge
