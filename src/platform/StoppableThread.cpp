#include "platform/StoppableThread.h"

#include <exception>

#include <pthread.h>

#include "platform/Clock.h"
#include "platform/Log.h"

namespace nb::platform {
namespace {

void runBody(const std::string& name, const StoppableThread::Body& body, StoppableThread& self) {
  pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
  try {
    body(self);
  } catch (const std::exception& e) {
    NBLOG_ERROR("thread {} ended by an exception: {}", name, e.what());
  } catch (...) {
    NBLOG_ERROR("thread {} ended by a non-standard exception", name);
  }
}

}  // namespace

StoppableThread::StoppableThread(std::string name, Body body)
    : name_(std::move(name)),
      thread_([this, name = name_, body = std::move(body)] { runBody(name, body, *this); }) {}

StoppableThread::~StoppableThread() {
  requestStop();
  if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) {
    NBLOG_WARN("thread {} destroyed its own loop object; detaching", name_);
    thread_.detach();
    return;
  }
  join();
}

void StoppableThread::requestStop() { stop_.request_stop(); }

bool StoppableThread::stopRequested() const { return stop_.stop_requested(); }

std::stop_token StoppableThread::stopToken() const { return stop_.get_token(); }

bool StoppableThread::sleepFor(std::chrono::nanoseconds duration) {
  return Clock::current()->sleepFor(duration, stop_.get_token());
}

void StoppableThread::join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace nb::platform
