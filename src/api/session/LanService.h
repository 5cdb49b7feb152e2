#pragma once
// What the stores need of the LAN service: a nudge to run or stop it after
// the local-network setting changed. The transfer engine registers the real
// service; until then the nudge does nothing but log an error.

#include <memory>

namespace nb {

class LanService {
 public:
  virtual ~LanService() = default;
  // Runs the LAN service while the settings store's local-network switch is
  // on, and stops it otherwise.
  virtual void checkHttp() = 0;
};

// Registers the LAN service; null restores the do-nothing default. Thread-safe.
void setLanService(std::shared_ptr<LanService> service);

// The registered service or the default, which logs an error at each nudge;
// never null.
std::shared_ptr<LanService> getLanService();

}  // namespace nb
