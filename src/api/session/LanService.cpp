#include "api/session/LanService.h"

#include <atomic>

#include "platform/Log.h"

namespace nb {
namespace {

class NoLanService final : public LanService {
 public:
  // A changed local-network switch that reaches no service is a wiring
  // fault: the switch would silently do nothing.
  void checkHttp() override { NBLOG_ERROR("no LAN service registered: checkHttp does nothing"); }
};

std::atomic<std::shared_ptr<LanService>>& registered() {
  static std::atomic<std::shared_ptr<LanService>> service;
  return service;
}

}  // namespace

void setLanService(std::shared_ptr<LanService> service) { registered().store(std::move(service)); }

std::shared_ptr<LanService> getLanService() {
  static const std::shared_ptr<LanService> none = std::make_shared<NoLanService>();
  std::shared_ptr<LanService> service = registered().load();
  return service ? service : none;
}

}  // namespace nb
