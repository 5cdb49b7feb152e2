#include "transfer/lan/PollLoop.h"

#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>

#include "platform/Log.h"

namespace nb::lan {

bool PollLoop::start(std::string name, Prepare prepare, Handle handle) {
  stop();
  platform::UniqueFd wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!wake.ok()) {
    NBLOG_ERROR("LAN loop {}: eventfd failed: {}", name, std::strerror(errno));
    return false;
  }
  wake_.reset();
  wake_.emplace(std::move(wake));
  stopping_ = false;
  thread_ = std::thread([this, name = std::move(name), prepare = std::move(prepare),
                         handle = std::move(handle)] {
    ::pthread_setname_np(::pthread_self(), name.substr(0, 15).c_str());
    run(prepare, handle);
  });
  return true;
}

void PollLoop::stop() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  const std::uint64_t one = 1;
  if (::write(wake_->get(), &one, sizeof one) < 0) {
    NBLOG_WARN("LAN loop: wake-up failed: {}", std::strerror(errno));
  }
  thread_.join();
}

void PollLoop::run(const Prepare& prepare, const Handle& handle) {
  std::vector<pollfd> fds;
  while (!stopping_) {
    try {
      fds.clear();
      const std::chrono::milliseconds wait = prepare(fds);
      fds.push_back({wake_->get(), POLLIN, 0});
      const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(wait.count()));
      if (stopping_) break;
      if (ready < 0 && errno != EINTR) {
        NBLOG_ERROR("LAN loop: poll failed: {}", std::strerror(errno));
        break;
      }
      fds.pop_back();
      handle(fds);
    } catch (const std::exception& error) {
      // One bad pass must not take the service down with the thread.
      NBLOG_ERROR("LAN loop: {}", error.what());
    }
  }
}

}  // namespace nb::lan
