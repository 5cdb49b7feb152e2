#include "stores/catalogue/DelaySyncFile.h"

#include <vector>

#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "platform/Clock.h"

namespace nb {

std::vector<DelaySyncItem> DelaySyncFile::parse(std::string_view json) {
  std::vector<DelaySyncItem> items;
  const auto parsed = objectFromJSONString(json);
  if (!parsed || !parsed->isObject()) return items;
  for (const JsonMember& member : parsed->members()) {
    items.push_back({std::string(member.key()), member.value().toInt64()});
  }
  return items;
}

void DelaySyncFile::addNode(std::string_view json) {
  const std::vector<DelaySyncItem> items = parse(json);
  std::lock_guard lock(nodeLock);
  nodeArray.insert(nodeArray.end(), items.begin(), items.end());
}

void DelaySyncFile::replaceWithSettings(const std::vector<SettingItem>& settings) {
  std::vector<DelaySyncItem> items;
  for (const SettingItem& setting : settings) {
    if (setting.strSetting != SettingItem::kDelaySyncFile) continue;
    for (DelaySyncItem& item : parse(setting.strProperty)) items.push_back(std::move(item));
  }
  std::lock_guard lock(nodeLock);
  nodeArray.swap(items);
}

bool DelaySyncFile::checkFile(std::string_view path, uint64_t& time) const {
  const uint64_t now = platform::nowSeconds();
  const std::string lowered = lowercaseString(path);
  std::lock_guard lock(nodeLock);
  for (const DelaySyncItem& item : nodeArray) {
    // Appended rather than "." + ...: GCC 12 at -O3 warns falsely on that form.
    std::string suffix(1, '.');
    suffix += lowercaseString(item.ext);
    if (lowered.size() < suffix.size() ||
        lowered.compare(lowered.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    // Unsigned, as the server's delays and times are.
    const uint64_t until = static_cast<uint64_t>(item.delay) + time;
    if (until > now) {
      time = until;
      return false;
    }
    return true;
  }
  return true;
}

}  // namespace nb
