#include "http/engine/CurlDriver.h"

#include <curl/curl.h>

#include <algorithm>

#include "platform/CurlEasy.h"
#include "platform/Log.h"

namespace nb::http {

CurlDriver::CurlDriver() : owner_(std::this_thread::get_id()) {
  // Making an easy handle runs curl's global set-up once for the process.
  platform::CurlEasy warmUp;
  multi_ = curl_multi_init();
  if (multi_ == nullptr) NBLOG_ERROR("curl: no multi handle (out of memory)");
}

CurlDriver::~CurlDriver() {
  for (const auto& [easy, client] : transfers_) curl_multi_remove_handle(multi_, easy);
  transfers_.clear();
  timers_.clear();
  if (multi_ != nullptr) curl_multi_cleanup(multi_);
}

CurlDriver& CurlDriver::forCurrentThread() {
  thread_local CurlDriver driver;
  return driver;
}

void CurlDriver::post(Task task) {
  {
    std::lock_guard lock(tasksMutex_);
    tasks_.push_back(std::move(task));
  }
  wakeup();
}

void CurlDriver::wakeup() {
  if (multi_ != nullptr) curl_multi_wakeup(multi_);
}

bool CurlDriver::add(CURL* easy, std::shared_ptr<CurlTransferClient> client) {
  if (multi_ == nullptr || curl_multi_add_handle(multi_, easy) != CURLM_OK) return false;
  transfers_[easy] = std::move(client);
  return true;
}

void CurlDriver::remove(CURL* easy) {
  const auto found = transfers_.find(easy);
  if (found == transfers_.end()) return;
  curl_multi_remove_handle(multi_, easy);
  // The client may be the last owner of the handle; let it go last.
  const auto client = std::move(found->second);
  transfers_.erase(found);
}

void CurlDriver::setTimer(const std::shared_ptr<CurlTransferClient>& client,
                          std::chrono::milliseconds interval) {
  clearTimer(client.get());
  timers_.push_back({client, interval, std::chrono::steady_clock::now() + interval});
}

void CurlDriver::clearTimer(const CurlTransferClient* client) {
  std::erase_if(timers_, [client](const Timer& timer) { return timer.client.get() == client; });
}

std::chrono::milliseconds CurlDriver::waitTime(std::chrono::milliseconds limit) const {
  auto wait = limit;
  long curlWait = -1;
  if (multi_ != nullptr && curl_multi_timeout(multi_, &curlWait) == CURLM_OK && curlWait >= 0) {
    wait = std::min(wait, std::chrono::milliseconds(curlWait));
  }
  const auto now = std::chrono::steady_clock::now();
  for (const Timer& timer : timers_) {
    const auto until = std::chrono::duration_cast<std::chrono::milliseconds>(timer.due - now);
    wait = std::min(wait, std::max(until, std::chrono::milliseconds(0)));
  }
  return wait;
}

void CurlDriver::runOnce(std::chrono::milliseconds limit) {
  if (multi_ == nullptr) return;
  int ready = 0;
  curl_multi_poll(multi_, nullptr, 0, static_cast<int>(waitTime(limit).count()), &ready);
  runTasks();
  int running = 0;
  curl_multi_perform(multi_, &running);
  std::vector<std::shared_ptr<CurlTransferClient>> clients;
  clients.reserve(transfers_.size());
  for (const auto& entry : transfers_) clients.push_back(entry.second);
  for (const auto& client : clients) client->performPassEnded();
  finishTransfers();
  runDueTimers();
}

void CurlDriver::runTasks() {
  std::vector<Task> tasks;
  {
    std::lock_guard lock(tasksMutex_);
    tasks.swap(tasks_);
  }
  for (auto& task : tasks) {
    try {
      task();
    } catch (const std::exception& e) {
      NBLOG_ERROR("http: a network task threw: {}", e.what());
    } catch (...) {
      NBLOG_ERROR("http: a network task threw");
    }
  }
}

void CurlDriver::finishTransfers() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    CURL* easy = message->easy_handle;
    const int result = message->data.result;
    const auto found = transfers_.find(easy);
    if (found == transfers_.end()) continue;
    const auto client = found->second;
    remove(easy);
    client->transferDone(result);
  }
}

void CurlDriver::runDueTimers() {
  const auto now = std::chrono::steady_clock::now();
  std::vector<std::shared_ptr<CurlTransferClient>> due;
  for (Timer& timer : timers_) {
    if (timer.due > now) continue;
    due.push_back(timer.client);
    timer.due = now + timer.interval;
  }
  for (const auto& client : due) client->statusTick();
}

}  // namespace nb::http
