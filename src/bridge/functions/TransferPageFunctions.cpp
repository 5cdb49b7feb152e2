#include "bridge/functions/TransferPageFunctions.h"

#include <cstdint>
#include <functional>
#include <vector>

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/PageArgs.h"
#include "bridge/functions/TransferEngine.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilStatus.h"
#include "platform/Log.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb::bridge {

namespace {

constexpr std::int64_t kRunning = 1;
constexpr std::int64_t kFinished = 4;
constexpr std::int64_t kFailed = 5;
constexpr std::int64_t kUploadPending = 1;  // sync status of a row waiting to go up

using Answer = std::optional<std::string>;
using ListRead = std::vector<TransportItem> (TransPortDB::*)(std::int64_t, std::int64_t);

struct Window {
  std::int64_t start = 0;
  std::int64_t count = 100;
};

// An object reads "start" and "count" (missing: 0); anything else the first
// hundred.
Window listWindow(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return {};
  return {jsonInt64(*args, "start"), jsonInt64(*args, "count")};
}

JsonValue listEntry(const TransportItem& item, std::uint64_t offset, std::uint64_t speed) {
  return JsonObjectBuilder()
      .set("index", item.nIndex)
      .set("mount_id", item.nMountid)
      .set("webpath", item.strWebpath)
      .set("fullpath", item.strFullpath)
      .set("status", item.nStatus)
      .set("offset", offset)
      .set("filesize", item.ullFilesize)
      .set("acttime", item.ullActlast)
      .set("sync", item.bSync ? 1 : 0)
      .set("dir", item.bDir ? 1 : 0)
      .set("speed", speed)
      .set("errormsg", item.strError)
      .set("expand", 0)
      .build();
}

std::string transferList(const PageCall& call, ListRead read, bool upload) {
  const Window window = listWindow(call);
  const std::shared_ptr<transfer::Network> engine = transferEngine();
  if (!engine) return Util::errorInfoWithCode(Util::kStatusFailed);
  // Figures first: a list may be a moment newer than its totals, never older.
  const std::uint64_t downloadSpeed = engine->nDownloadSpeed();
  const std::uint64_t uploadSpeed = engine->nUploadSpeed();
  const std::int64_t downloadCount = engine->nDownloadCount();
  const std::int64_t uploadCount = engine->nUploadCount();
  ManagerBase& manager = upload ? static_cast<ManagerBase&>(engine->uManager())
                                : static_cast<ManagerBase&>(engine->dManager());
  std::vector<JsonValue> list;
  for (const TransportItem& item : (TransPortDB::shareTransPortDB().*read)(window.start,
                                                                         window.count)) {
    std::uint64_t offset = item.ullOffset;
    std::uint64_t speed = 0;
    if (item.nStatus == kRunning) {
      speed = manager.GetSpeed(item.nIndex);
      // The store keeps the offset of the last saved piece; the task knows more.
      if (const std::uint64_t live = manager.GetOffset(item.nIndex); live != 0) offset = live;
    }
    list.push_back(listEntry(item, offset, speed));
  }
  return pageAnswer(JsonObjectBuilder()
                        .set("download", downloadSpeed)
                        .set("upload", uploadSpeed)
                        .set("download_total_count", downloadCount)
                        .set("upload_total_count", uploadCount)
                        .set("list", JsonValue::array(std::move(list)))
                        .build());
}

struct Selection {
  bool all = false;
  bool finish = false;
  std::vector<std::int64_t> ids;
};

// Elements that are no object or carry no "index" name no record: skipped.
std::optional<Selection> selection(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return std::nullopt;
  Selection s;
  s.all = jsonFlag(*args, "all");
  s.finish = jsonFlag(*args, "finish");
  const JsonValue& list = (*args)["list"];
  if (list.isArray()) {
    for (const JsonValue& element : list.elements()) {
      if (!element.isObject() || !element.contains("index")) {
        NBLOG_WARN("{}: a list element without a record id is skipped", call.name);
        continue;
      }
      s.ids.push_back(jsonInt64(element, "index"));
    }
  }
  return s;
}

using Command = std::function<void(transfer::Network&, const Selection&)>;

Answer command(const PageCall& call, const Command& run) {
  const std::optional<Selection> s = selection(call);
  if (!s) return Util::errorInfoWithCode(Util::kBadParameters);
  const std::shared_ptr<transfer::Network> engine = transferEngine();
  if (!engine) return Util::errorInfoWithCode(Util::kStatusFailed);
  run(*engine, *s);
  return Util::errorInfoWithCode(Util::kStatusOk);
}

Answer gGetTransInfo(const PageCall& call) {
  if (!NBWebViewDelegate::checkLogin()) return std::nullopt;
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return std::nullopt;
  const std::int64_t mountid = jsonInt64(*args, "mount_id");
  const std::string webpath = jsonTextOrEmpty(*args, "webpath");
  const auto onItsWay = [](std::uint64_t offset, std::uint64_t size) {
    return pageAnswer(JsonValue::object({{"offset", offset}, {"filesize", size}, {"status", 0}}));
  };
  if (const std::shared_ptr<transfer::Network> engine = transferEngine()) {
    const TransTaskItem task = engine->GetTransInfo(webpath, mountid);
    if (task.nIndex != 0) return onItsWay(task.ullOffset, task.ullFilesize);
  }
  const TransportItem record = TransPortDB::shareTransPortDB().GetTransInfo(webpath, mountid);
  if (record.nIndex != 0) return onItsWay(record.ullOffset, record.ullFilesize);
  const std::shared_ptr<SyncManager> manager =
      SyncCenter::shareSyncCenter().GetSyncManager(mountid);
  if (!manager) return std::nullopt;
  const SyncFileItem row = manager->syncdb().get_single_file(webpath);
  if (row.nStatus == kUploadPending) return onItsWay(0, row.ullFileSize);
  return pageAnswer(JsonValue::object(
      {{"offset", row.ullFileSize}, {"filesize", row.ullFileSize}, {"status", 1}}));
}

Answer gGetDownloadInfo(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  const std::int32_t mountid = args ? jsonInt32(*args, "mount_id") : 0;
  const std::string webpath = args ? jsonTextOrEmpty(*args, "webpath") : std::string();
  if (mountid == 0 || webpath.empty()) return Util::errorInfoWithCode(1, "参数错误");
  const TransportItem record = TransPortDB::shareTransPortDB().Get_Download(
      mountid, webpath, jsonTextOrEmpty(*args, "fullpath"));
  if (record.nIndex == 0) return Util::errorInfoWithCode(1, "获取下载信息失败");
  if (record.nStatus == kFailed) return Util::errorInfoWithCode(1, record.strError);
  std::int32_t pos = 100;
  if (record.nStatus != kFinished) {
    pos = 0;
    const std::shared_ptr<transfer::Network> engine = transferEngine();
    const TransTaskItem task =
        engine ? engine->dManager().GetTransInfo(webpath, mountid) : TransTaskItem();
    if (task.nIndex != 0 && task.ullFilesize != 0) {
      pos = static_cast<std::int32_t>(task.ullOffset * 100 / task.ullFilesize);
    }
    // An unfinished download never shows complete.
    if (pos > 98) pos = 99;
  }
  return pageAnswer(JsonValue::object(
      {{"index", record.nIndex}, {"error", 0}, {"message", ""}, {"pos", pos}}));
}

Answer gGetTransCount(const PageCall&) {
  std::int64_t downloads = 0;
  std::int64_t uploads = 0;
  if (NBWebViewDelegate::checkLogin()) {
    if (const std::shared_ptr<transfer::Network> engine = transferEngine()) {
      downloads = engine->nDownloadCount();
      uploads = engine->nUploadCount();
    }
  }
  return pageAnswer(JsonValue::object(
      {{"download_total_count", downloads}, {"upload_total_count", uploads}}));
}

// No answer now: the page hears from the progress loop of that direction.
Answer changeSink(const PageCall& call, bool upload) {
  NBLOG_DEBUG("{}", call.json());
  const std::shared_ptr<NBWebViewDelegate> bridge = call.bridge.lock();
  if (!bridge) return std::nullopt;
  bridge->setBTransWeb(true);
  const std::optional<JsonValue> args = pageObject(call);
  const bool start = args && jsonFlag(*args, "start");
  const std::shared_ptr<transfer::Network> engine = transferEngine();
  if (!engine) return std::nullopt;
  transfer::CallbackThread& reporter = upload ? engine->uCallback() : engine->dCallback();
  if (start && call.callbackId) {
    reporter.SetCallbackStatus(pageProgressSink(call.bridge, *call.callbackId));
  } else {
    reporter.SetCallbackStatus({});
  }
  return std::nullopt;
}

// Answers logged as the page gets them.
Answer logged(const PageCall& call, Answer answer) {
  if (answer) NBLOG_DEBUG("{},{}", call.json(), *answer);
  return answer;
}

}  // namespace

void registerTransferPageFunctions() {
  registerPagesReadyForProgress();
  setPageBody("gGetUpload", [](const PageCall& c) {
    return Answer(transferList(c, &TransPortDB::Get_AllUpload, true));
  });
  setPageBody("gGetDownload", [](const PageCall& c) {
    return Answer(transferList(c, &TransPortDB::Get_AllDownload, false));
  });
  setPageBody("gGetUploadFinish", [](const PageCall& c) {
    return logged(c, transferList(c, &TransPortDB::Get_AllUploadFinish, true));
  });
  setPageBody("gGetDownloadFinish", [](const PageCall& c) {
    return logged(c, transferList(c, &TransPortDB::Get_AllDownloadFinish, false));
  });
  setPageBody("gStartUpload", [](const PageCall& c) {
    return command(c, [](transfer::Network& n, const Selection& s) {
      s.all ? n.StartUploadAll() : n.StartUpload(s.ids);
    });
  });
  setPageBody("gStartDownload", [](const PageCall& c) {
    return command(c, [](transfer::Network& n, const Selection& s) {
      s.all ? n.StartDownloadAll() : n.StartDownload(s.ids);
    });
  });
  setPageBody("gStopUpload", [](const PageCall& c) {
    return command(c, [](transfer::Network& n, const Selection& s) {
      s.all ? n.StopUploadAll() : n.StopUpload(s.ids);
    });
  });
  setPageBody("gStopDownload", [](const PageCall& c) {
    return command(c, [](transfer::Network& n, const Selection& s) {
      s.all ? n.StopDownloadAll() : n.StopDownload(s.ids);
    });
  });
  setPageBody("gDeleteUpload", [](const PageCall& c) {
    return command(c, [](transfer::Network& n, const Selection& s) {
      if (!s.all) return n.DeleteUpload(s.ids);
      // Finished records only: nothing runs for them.
      if (s.finish) return TransPortDB::shareTransPortDB().DeleteUploadAllFinish();
      n.DeleteUploadAll();
    });
  });
  setPageBody("gDeleteDownload", [](const PageCall& c) {
    return command(c, [](transfer::Network& n, const Selection& s) {
      if (!s.all) return n.DeleteDownload(s.ids);
      if (s.finish) return TransPortDB::shareTransPortDB().DeleteDownloadAllFinish();
      n.DeleteDownloadAll();
    });
  });
  setPageBody("gGetTransCount", [](const PageCall& c) { return logged(c, gGetTransCount(c)); });
  setPageBody("gGetTransInfo", gGetTransInfo);
  setPageBody("gGetDownloadInfo", [](const PageCall& c) { return logged(c, gGetDownloadInfo(c)); });
  setPageBody("gChangeUpload", [](const PageCall& c) { return changeSink(c, true); });
  setPageBody("gChangeDownload", [](const PageCall& c) { return changeSink(c, false); });
}

}  // namespace nb::bridge
