#include "stores/common/StoreSeams.h"

#include "api/session/UserData.h"
#include "stores/syncdb/Syncdb.h"

namespace nb {

void registerStoreSeams() {
  SessionHooks hooks = UserData::sessionHooks();
  hooks.update2to3 = &Syncdb::update2to3;
  UserData::setSessionHooks(std::move(hooks));
}

}  // namespace nb
