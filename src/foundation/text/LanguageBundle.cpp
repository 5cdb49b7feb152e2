#include "foundation/text/LanguageBundle.h"

#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

#include "foundation/json/Json.h"
#include "platform/AppFolders.h"
#include "platform/Log.h"

namespace nb {

std::string LanguageBundle::fileNameFor(std::string_view code) {
  if (code == "zh-tw" || code == "zh-cn") {
    return std::string(code) + ".json";
  }
  return "en.json";
}

std::shared_ptr<const LanguageBundle> LanguageBundle::forLanguage(std::string_view code) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const LanguageBundle>, std::less<>> loaded;
  const std::string file = fileNameFor(code);
  std::lock_guard lock(mutex);
  auto& bundle = loaded[file];
  if (!bundle) {
    bundle = fromFile(platform::installDataFolder() / "lang" / file);
  }
  return bundle;
}

std::shared_ptr<const LanguageBundle> LanguageBundle::fromFile(const std::filesystem::path& file) {
  auto bundle = std::make_shared<LanguageBundle>();
  std::ifstream in(file, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  const std::optional<JsonValue> table = objectFromJSONData(bytes);
  if (!table || !table->isObject()) {
    NBLOG_WARN("language table {} is missing or not a JSON object", file.string());
    return bundle;
  }
  for (const JsonMember& member : table->members()) {
    if (member.value().isString()) {
      bundle->texts_.emplace(std::string(member.key()), std::string(member.value().asString()));
    }
  }
  return bundle;
}

std::optional<std::string> LanguageBundle::lookup(std::string_view key) const {
  if (auto it = texts_.find(key); it != texts_.end()) {
    return it->second;
  }
  return std::nullopt;
}

}  // namespace nb
