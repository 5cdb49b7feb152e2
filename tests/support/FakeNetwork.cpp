#include "support/FakeNetwork.h"

#include <algorithm>

namespace nb::test {

std::string FakeNetwork::directionName(TransDirection which) {
  switch (which) {
    case TransDirection::Download:
      return "download";
    case TransDirection::Upload:
      return "upload";
    case TransDirection::Both:
      break;
  }
  return "both";
}

std::vector<FakeNetwork::Call> FakeNetwork::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::size_t FakeNetwork::count(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(std::count_if(
      calls_.begin(), calls_.end(), [&](const Call& call) { return call.name == name; }));
}

void FakeNetwork::clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

int FakeNetwork::transActions() const {
  std::lock_guard lock(mutex_);
  return transActions_;
}

void FakeNetwork::setOnCall(std::function<void(const Call&)> hook) {
  std::lock_guard lock(mutex_);
  onCall_ = std::move(hook);
}

void FakeNetwork::record(std::string name, std::string argument) {
  std::function<void(const Call&)> hook;
  Call call{std::move(name), std::move(argument)};
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
    hook = onCall_;
  }
  if (hook) hook(call);
}

void FakeNetwork::ClearTrans(const std::string& webpath, int64_t mountid, TransDirection which) {
  record("ClearTrans", webpath + "|" + std::to_string(mountid) + "|" + directionName(which));
}

void FakeNetwork::RenameWebpath(int64_t mountid, const std::string& oldwebpath,
                                const std::string& newwebpath) {
  record("RenameWebpath", std::to_string(mountid) + "|" + oldwebpath + "|" + newwebpath);
}

void FakeNetwork::StopDownloadAll() { record("StopDownloadAll"); }
void FakeNetwork::StopUploadAll() { record("StopUploadAll"); }

void FakeNetwork::AddTransAction() {
  {
    std::lock_guard lock(mutex_);
    ++transActions_;
  }
  record("AddTransAction");
}

void FakeNetwork::DelTransAction() {
  {
    std::lock_guard lock(mutex_);
    if (transActions_ > 0) --transActions_;
  }
  record("DelTransAction");
}

void FakeNetwork::SendCallbackAction(TransDirection which, const std::string& action) {
  record("SendCallbackAction", directionName(which) + "|" + action);
}

void FakeNetwork::SendCallbackInfoByTransTask(TransDirection which, const TransTaskItem& task) {
  record("SendCallbackInfoByTransTask", directionName(which) + "|" + task.strWebpath);
}

void FakeNetwork::SendCallbackInfoByTransport(TransDirection which, const TransportItem& item) {
  record("SendCallbackInfoByTransport", directionName(which) + "|" + item.strWebpath);
}

}  // namespace nb::test
