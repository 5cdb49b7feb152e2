#include "api/models/RetGetServer.h"

#include "foundation/json/Json.h"

namespace nb {

void RetGetServer::setValueWithData(const std::string& data) {
  if (data.empty()) {
    return;
  }
  const std::optional<JsonValue> json = objectFromJSONData(std::string_view(data));
  if (json && json->isArray()) {
    itemlist = BaseForJosnOrObject::initAll<ServerUrlItem>(*json);
  }
}

}  // namespace nb
