#include "sync/operations/Network.h"

#include <atomic>

#include "platform/Log.h"

namespace nb {
namespace {

// Stands in while no transfer engine is registered: a call that reaches it
// is a wiring fault, never a silent success.
class UnregisteredNetwork final : public Network {
 public:
  void ClearTrans(const std::string&, int64_t, TransDirection) override { missing("ClearTrans"); }
  void RenameWebpath(int64_t, const std::string&, const std::string&) override {
    missing("RenameWebpath");
  }
  void StopDownloadAll() override { missing("StopDownloadAll"); }
  void StopUploadAll() override { missing("StopUploadAll"); }
  void AddTransAction() override { missing("AddTransAction"); }
  void DelTransAction() override { missing("DelTransAction"); }
  void SendCallbackAction(TransDirection, const std::string&) override {
    missing("SendCallbackAction");
  }
  void SendCallbackInfoByTransTask(TransDirection, const TransTaskItem&) override {
    missing("SendCallbackInfoByTransTask");
  }
  void SendCallbackInfoByTransport(TransDirection, const TransportItem&) override {
    missing("SendCallbackInfoByTransport");
  }

 private:
  static void missing(const char* what) {
    NBLOG_ERROR("no transfer engine registered for {}", what);
  }
};

std::atomic<std::shared_ptr<Network>>& registered() {
  static std::atomic<std::shared_ptr<Network>> network;
  return network;
}

}  // namespace

std::shared_ptr<Network> Network::shareNetwork() {
  if (auto network = registered().load()) return network;
  static const std::shared_ptr<Network> standIn = std::make_shared<UnregisteredNetwork>();
  return standIn;
}

void Network::setNetwork(std::shared_ptr<Network> network) {
  registered().store(std::move(network));
}

}  // namespace nb
