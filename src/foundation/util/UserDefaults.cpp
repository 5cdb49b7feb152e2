#include "foundation/util/UserDefaults.h"

#include <filesystem>

#include "foundation/json/Json.h"
#include "platform/AppFolders.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"

namespace nb {

UserDefaults& UserDefaults::standardUserDefaults() {
  static UserDefaults defaults((platform::configFolder() / "userdefaults.json").string());
  return defaults;
}

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) {}

void UserDefaults::loadLocked() {
  if (loaded_) {
    return;
  }
  loaded_ = true;
  const auto text = platform::readWholeFile(path_);
  if (!text) {
    return;
  }
  const auto object = objectFromJSONString(*text);
  if (!object || !object->isObject()) {
    NBLOG_WARN("user defaults {} unreadable; starting empty", path_);
    return;
  }
  for (const auto& member : object->members()) {
    if (member.value().isString()) {
      values_.emplace(std::string(member.key()), std::string(member.value().asString()));
    }
  }
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  loadLocked();
  const auto it = values_.find(key);
  return it == values_.end() ? std::nullopt : std::optional<std::string>(it->second);
}

void UserDefaults::setObject(const std::string& value, const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  loadLocked();
  values_[key] = value;
}

void UserDefaults::removeObjectForKey(const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  loadLocked();
  values_.erase(key);
}

bool UserDefaults::synchronize() {
  std::lock_guard<std::mutex> lock(mutex_);
  loadLocked();
  JsonObjectBuilder builder;
  for (const auto& [key, value] : values_) {
    builder.set(key, JsonValue(value));
  }
  const auto text = JSONString(builder.build());
  if (!text) {
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
  return platform::writeFileAtomically(path_, *text, 0600);
}

}  // namespace nb
