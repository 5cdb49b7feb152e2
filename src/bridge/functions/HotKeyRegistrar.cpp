#include "bridge/functions/HotKeyRegistrar.h"

#include <mutex>

#include "platform/Log.h"

namespace nb::bridge {

namespace {

std::mutex& registrarMutex() {
  static std::mutex m;
  return m;
}

HotKeyRegistrar& registrar() {
  static HotKeyRegistrar r;
  return r;
}

}  // namespace

void setHotKeyRegistrar(HotKeyRegistrar r) {
  std::lock_guard lock(registrarMutex());
  registrar() = std::move(r);
}

bool registerHotKey(const std::vector<std::string>& keys) {
  HotKeyRegistrar r;
  {
    std::lock_guard lock(registrarMutex());
    r = registrar();
  }
  if (!r) {
    NBLOG_ERROR("no hot key registrar is registered: the global hot key is not changed");
    return false;
  }
  r(keys);
  return true;
}

}  // namespace nb::bridge
