#include "sync/links/CaseTwins.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "sync/links/SafeWebPath.h"

namespace nb {

namespace fs = std::filesystem;

namespace {

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string foldedKey(std::string_view name) {
  std::string key(name);
  std::transform(key.begin(), key.end(), key.begin(), asciiLower);
  return key;
}

bool existsNoFollow(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::vector<std::string> splitNames(std::string_view rest) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= rest.size()) {
    const size_t slash = std::min(rest.find('/', start), rest.size());
    names.emplace_back(rest.substr(start, slash - start));
    start = slash + 1;
  }
  return names;
}

}  // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

std::string caseTwinFor(const std::vector<std::string>& names, std::string_view rowName) {
  std::string first;
  for (const auto& name : names) {
    if (name == rowName) return name;
    if (equalsNoCase(name, rowName) && (first.empty() || name < first)) first = name;
  }
  return first;
}

std::string resolveCaseTwins(const std::string& folder, const std::string& path) {
  if (existsNoFollow(path) || !isPathUnder(path, folder)) return path;
  std::string resolved = folder;
  while (!resolved.empty() && resolved.back() == '/') resolved.pop_back();
  if (path.size() <= resolved.size() + 1) return path;
  const std::vector<std::string> names =
      splitNames(std::string_view(path).substr(resolved.size() + 1));
  size_t i = 0;
  for (; i < names.size(); ++i) {
    std::string name = names[i];
    if (!name.empty() && !existsNoFollow(resolved + "/" + name)) {
      // Only a name with an ASCII letter can have a twin: spare the listing.
      if (std::none_of(name.begin(), name.end(), isAsciiLetter)) break;
      name = caseTwinFor(Util::entryNames(resolved), name);
      if (name.empty()) break;
    }
    resolved += "/" + name;
  }
  for (; i < names.size(); ++i) resolved += "/" + names[i];
  return resolved;
}

std::vector<std::string> CaseTwins::skipped(const std::string& folder,
                                            const std::vector<std::string>& names,
                                            const std::vector<std::string>& rowNames) {
  std::map<std::string, std::vector<std::string>> groups;
  for (const auto& name : names) groups[foldedKey(name)].push_back(name);
  std::set<std::string> skip;
  for (auto& [key, group] : groups) {
    if (group.size() < 2) continue;
    std::string chosen = *std::min_element(group.begin(), group.end());
    for (const auto& row : rowNames) {
      if (std::find(group.begin(), group.end(), row) != group.end()) chosen = row;
    }
    for (const auto& name : group) {
      if (name != chosen) skip.insert(name);
    }
  }
  std::vector<std::string> out;
  std::lock_guard lock(mutex_);
  for (const auto& name : names) {
    if (!skip.count(name)) continue;
    out.push_back(name);
    const std::string path = lastaddslash(folder) + name;
    if (logged_.insert(path).second) {
      NBLOG_INFO("not synced: {} differs only in letter case from a synced name", path);
    }
  }
  return out;
}

}  // namespace nb
