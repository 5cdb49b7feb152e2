#include "transfer/engine/DispatchGate.h"

#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "sync/centre/SyncCenter.h"

namespace nb {

namespace {
bool ask(const std::function<bool()>& question) { return question && question(); }
}  // namespace

DispatchGate DispatchGate::standard() {
  return {
      .signedIn = [] { return Util::getAppDelegate()->bLoginFinish(); },
      .networkUp = [] { return Util::getAppDelegate()->bLinkNetwork(); },
      .transStart = [] { return UserData::shareUserData().bTransStart(); },
      .librariesLoaded = [] { return SyncCenter::shareSyncCenter().bInit(); },
  };
}

bool DispatchGate::sessionUp() const { return ask(signedIn) && ask(networkUp); }

bool DispatchGate::transfersAllowed() const { return ask(transStart) && ask(librariesLoaded); }

}  // namespace nb
