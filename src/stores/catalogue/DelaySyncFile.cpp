#include "stores/catalogue/DelaySyncFile.h"

#include <vector>

#include "foundation/json/Json.h"

namespace nb {

void DelaySyncFile::addNode(std::string_view json) {
  const auto parsed = objectFromJSONString(json);
  if (!parsed || !parsed->isObject()) return;
  std::vector<DelaySyncItem> items;
  for (const JsonMember& member : parsed->members()) {
    items.push_back({std::string(member.key()), member.value().toInt64()});
  }
  std::lock_guard lock(nodeLock);
  nodeArray.insert(nodeArray.end(), items.begin(), items.end());
}

}  // namespace nb
