#include "shell/housekeeping/TimerThread.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilWebPackage.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/app/ProcessState.h"
#include "shell/windows/WindowDirectory.h"
#include "stores/catalogue/Mountsdb.h"
#include "transfer/engine/Network.h"

namespace nb {

namespace {

using namespace std::chrono_literals;

constexpr auto kPassInterval = 1s;
constexpr auto kSampleInterval = 1s;
constexpr auto kHourly = 3600s;
constexpr auto kPurgeBudget = 15s;

TimerThread::Sources withDefaults(TimerThread::Sources s) {
  auto network = []() -> transfer::Network& { return transfer::Network::shareNetwork(); };
  if (!s.GetTransCount) s.GetTransCount = [network] { return network().GetTransCount(); };
  if (!s.nDownloadCount) s.nDownloadCount = [network] { return network().nDownloadCount(); };
  if (!s.nUploadCount) s.nUploadCount = [network] { return network().nUploadCount(); };
  if (!s.nDownloadRealCount) {
    s.nDownloadRealCount = [network] { return network().nDownloadRealCount(); };
  }
  if (!s.transferCache) s.transferCache = [] { return UserData::shareUserData().getranscache(); };
  if (!s.timehotfile) s.timehotfile = [] { return TimerThread::timehotfile(); };
  if (!s.sendToMain) {
    s.sendToMain = [](const PageEvent& event) {
      if (auto directory = currentWindowDirectory("transfer state to the main window")) {
        directory->sendToMain(event, false);
      }
    };
  }
  if (!s.power) s.power = platform::PowerManagement::desktop();
  return s;
}

}  // namespace

TimerThread::TimerThread(AppDelegate& app, Sources sources)
    : app_(app), sources_(withDefaults(std::move(sources))) {
  thread_ = std::make_unique<platform::StoppableThread>(
      "nb-timer", [this](platform::StoppableThread& thread) { run(thread); });
}

TimerThread::~TimerThread() {
  thread_.reset();  // stops and joins before the members go
}

void TimerThread::run(platform::StoppableThread& thread) {
  const auto start = platform::monotonicNow();
  Marks marks{start, start, start, start};
  while (!thread.stopRequested()) {
    try {
      pass(marks, thread.stopToken());
    } catch (const std::exception& e) {
      NBLOG_ERROR("housekeeping pass failed: {}", e.what());
    }
    ++passes_;
    thread.sleepFor(kPassInterval);
  }
  setDisabledDormancy(false);
}

void TimerThread::updateUI(std::stop_token stop) {
  if (sources_.updateUI) return sources_.updateUI();
  // The package is unpacked only while the program is in the background.
  // Asked here with the loop's stop token, so that an owner joining the
  // loop on the main thread never waits for a loop waiting for it.
  bool active = true;
  if (!platform::MainThread::postAndWait([&] { active = ProcessState::isApplicationActive(); },
                                         stop)) {
    return;
  }
  if (!active) {
    Util::initLoadResourcFileName("start", "index.html", true, app_.appVersionString());
  }
}

void TimerThread::pass(Marks& marks, std::stop_token stop) {
  const auto t = platform::monotonicNow();
  if (t - marks.t1 > kSampleInterval) {
    if (app_.bLoginFinish()) sampleRunning();
    marks.t1 = t;
  }
  if (t - marks.t2 > kSampleInterval) {
    if (app_.bLoginFinish()) app_.setNAllTransCount(sources_.nDownloadCount() + sources_.nUploadCount());
    setDisabledDormancy(checkCanDisabledDormancy());
    marks.t2 = t;
    if (app_.bUpdateUI()) updateUI(stop);
  }
  if (t - marks.t3 > kHourly) {
    app_.checkServerAppandUI();
    marks.t3 = t;
  }
  if (t - marks.t4 > kHourly || app_.bResetHotFile()) {
    // Cleared first: a request made while the call runs is kept for the
    // next pass.
    app_.setBResetHotFile(false);
    sources_.timehotfile();
    marks.t4 = t;
  }
}

void TimerThread::sampleRunning() {
  const std::int64_t running = sources_.GetTransCount();
  app_.setNTransCount(running);
  if (running != 0 && previousRunning_ == 0) {
    if (auto event = PageEvent::fromJsonText("TransferState", R"({"state":1})")) {
      sources_.sendToMain(*event);
    }
  } else if (running == 0 && previousRunning_ > 0) {
    if (auto event = PageEvent::fromJsonText("TransferState", R"({"state":0})")) {
      sources_.sendToMain(*event);
    }
  }
  previousRunning_ = running;

  const std::int64_t total = app_.nAllTransCount();
  if (previousTotal_ != 0 && total == 0) purgeDue_ = true;
  if (total != 0) purgeDue_ = false;
  previousTotal_ = total;
  // The total leaves out hot-file prefetches: purging while one runs would
  // delete the temporary file it is writing. The purge waits for it.
  if (purgeDue_ && running == 0 && sources_.nDownloadRealCount() == 0) {
    purgeDue_ = false;
    timeremovefile(sources_.transferCache());
  }
}

bool TimerThread::checkCanDisabledDormancy() {
  return app_.nAllTransCount() != 0 && sources_.power->onMainsPower();
}

void TimerThread::setDisabledDormancy(bool disable) {
  if (disable && !idleSleepAssertion_) {
    idleSleepAssertion_ = sources_.power->blockIdleSleep("nubren", "Disabled Dormancy");
  } else if (!disable && idleSleepAssertion_) {
    idleSleepAssertion_.reset();
  }
  dormancyDisabled_ = idleSleepAssertion_ != nullptr;
}

void TimerThread::timeremovefile(const std::string& folder) {
  std::error_code error;
  if (folder.empty() || !std::filesystem::is_directory(folder, error)) return;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    names.push_back(entry.path().filename().string());
  }
  const auto start = platform::monotonicNow();
  for (const std::string& name : names) {
    if (platform::monotonicNow() - start > kPurgeBudget) {
      NBLOG_INFO("transfer cache purge stopped after its time budget");
      return;
    }
    // The entry's own name: the folder's path may hold "_ok" too.
    if (name.find("_ok") != std::string::npos) continue;
    Util::deletefile(folder + "/" + name);
  }
}

bool TimerThread::timehotfile() {
  const RetHotFileList ret = HTTPEngine::getHotFileList(UserData::shareUserData().userToken(), 0);
  if (ret.nStatusCode() != 200) return false;
  std::vector<std::string> hashes;
  for (const JsonValue& item : ret.itemlist.value_or(std::vector<JsonValue>{})) {
    if (item.isString()) hashes.emplace_back(item.asString());
  }
  Mountsdb& catalogue = Mountsdb::shareMountsdb();
  catalogue.removeHotFiles();
  catalogue.addHotFiles(hashes);
  return true;
}

}  // namespace nb
