#include "transfer/progress/CallbackThread.h"

#include <chrono>
#include <exception>
#include <vector>

#include "foundation/json/Json.h"
#include "platform/Log.h"
#include "transfer/engine/Network.h"

namespace nb::transfer {

namespace {

constexpr std::chrono::seconds kInterval{1};

std::mutex& readyMutex() {
  static std::mutex m;
  return m;
}

std::function<bool()>& readyCheck() {
  static std::function<bool()> check;  // guarded by readyMutex()
  return check;
}

const char* directionName(TransDirection which) {
  return which == TransDirection::Upload ? "upload" : "download";
}

}  // namespace

CallbackThread::CallbackThread(TransDirection which, Network& network)
    : which_(which), network_(network) {}

CallbackThread::~CallbackThread() { stop(); }

void CallbackThread::setPagesReady(std::function<bool()> ready) {
  std::lock_guard lock(readyMutex());
  readyCheck() = std::move(ready);
}

void CallbackThread::SetCallbackStatus(Sink sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

bool CallbackThread::hasSink() const {
  std::lock_guard lock(mutex_);
  return static_cast<bool>(sink_);
}

void CallbackThread::start() {
  std::lock_guard lock(mutex_);
  if (thread_) return;
  const std::string name = which_ == TransDirection::Upload ? "nb-uprogress" : "nb-dprogress";
  thread_ = std::make_unique<platform::StoppableThread>(name, [this](platform::StoppableThread& t) {
    while (!t.stopRequested()) {
      // A failed pass is tried again a second later.
      try {
        pass();
      } catch (const std::exception& e) {
        NBLOG_ERROR("{} progress pass failed: {}", directionName(which_), e.what());
      }
      if (!t.sleepFor(kInterval)) return;
    }
  });
}

void CallbackThread::stop() {
  std::unique_ptr<platform::StoppableThread> thread;
  {
    std::lock_guard lock(mutex_);
    thread = std::move(thread_);
  }
  thread.reset();  // joins outside the lock: the loop's pass takes it
}

bool CallbackThread::isRunning() const {
  std::lock_guard lock(mutex_);
  return thread_ != nullptr;
}

void CallbackThread::pass() {
  refreshFigures();
  SendCallbackInfos();
}

void CallbackThread::refreshFigures() { network_.refreshFigures(which_); }

CallbackThread::Sink CallbackThread::readySink() const {
  Sink sink;
  {
    std::lock_guard lock(mutex_);
    if (!sink_) return {};
    sink = sink_;
  }
  std::function<bool()> ready;
  {
    std::lock_guard lock(readyMutex());
    ready = readyCheck();
  }
  if (!ready) {
    NBLOG_ERROR("transfer progress dropped: nothing tells whether the pages are ready");
    return {};
  }
  return ready() ? sink : Sink();
}

void CallbackThread::send(const Sink& sink, const JsonValue& object) {
  const std::optional<std::string> text = JSONString(object);
  if (!text) {
    NBLOG_ERROR("{} progress could not be written", directionName(which_));
    return;
  }
  sink(*text);
}

JsonValue CallbackThread::progress(JsonValue list) {
  // A direction with nothing unfinished shows no speed, whatever the window
  // still averages.
  if (network_.nDownloadCount() == 0) network_.setNDownloadSpeed(0);
  if (network_.nUploadCount() == 0) network_.setNUploadSpeed(0);
  return JsonObjectBuilder()
      .set("download", network_.nDownloadSpeed())
      .set("upload", network_.nUploadSpeed())
      .set("download_total_count", network_.nDownloadCount())
      .set("upload_total_count", network_.nUploadCount())
      .set("list", std::move(list))
      .build();
}

void CallbackThread::SendCallbackInfos() {
  const Sink sink = readySink();
  if (!sink) return;
  ManagerBase& manager = which_ == TransDirection::Upload
                             ? static_cast<ManagerBase&>(network_.uManager())
                             : static_cast<ManagerBase&>(network_.dManager());
  std::vector<JsonValue> list;
  for (const TransTaskItem& task : manager.GetAll()) list.push_back(entry(task));
  send(sink, progress(JsonValue::array(std::move(list))));
}

void CallbackThread::SendCallbackInfoByTransTask(const TransTaskItem& task) {
  const Sink sink = readySink();
  if (!sink) return;
  send(sink, progress(JsonValue::array({entry(task)})));
}

void CallbackThread::SendCallbackInfoByTransport(const TransportItem& item) {
  const Sink sink = readySink();
  if (!sink) return;
  send(sink, progress(JsonValue::array({entry(item)})));
}

void CallbackThread::SendCallbackAction(const std::string& action) {
  const Sink sink = readySink();
  if (!sink) return;
  send(sink, JsonValue::object({{"action", action}}));
}

JsonValue CallbackThread::entry(const TransTaskItem& task) {
  JsonObjectBuilder b;
  b.set("index", task.nIndex)
      .set("mount_id", task.nMountid)
      .set("webpath", task.strWebpath)
      .set("fullpath", task.strSavepath)
      .set("status", task.nStatus)
      .set("offset", task.ullOffset)
      .set("filesize", task.ullFilesize)
      .set("sync", task.bSync ? 1 : 0)
      .set("dir", task.bDir ? 1 : 0)
      .set("speed", task.ullSpeed);
  // A transfer that never failed carries no error text at all.
  if (!task.strMsg.empty()) b.set("errormsg", task.strMsg);
  b.set("expand", task.nTransExpand == 1 ? 1 : 0);
  return b.build();
}

JsonValue CallbackThread::entry(const TransportItem& item) {
  return JsonObjectBuilder()
      .set("index", item.nIndex)
      .set("mount_id", item.nMountid)
      .set("webpath", item.strWebpath)
      .set("fullpath", item.strFullpath)
      .set("status", 4)
      .set("offset", item.ullOffset)
      .set("filesize", item.ullFilesize)
      .set("sync", item.bSync ? 1 : 0)
      .set("dir", item.bDir ? 1 : 0)
      .set("speed", 0)
      .set("errormsg", "")
      .set("expand", 0)
      .build();
}

}  // namespace nb::transfer
