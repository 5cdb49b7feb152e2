#include "sync/links/SafeWebPath.h"

namespace nb {

bool isSafeWebPath(std::string_view webPath) {
  if (webPath.empty()) return true;
  if (webPath.find('\0') != std::string_view::npos) return false;
  if (webPath.back() == '/') webPath.remove_suffix(1);
  size_t start = 0;
  while (true) {
    const size_t slash = webPath.find('/', start);
    const std::string_view name = webPath.substr(start, slash - start);
    if (name.empty() || name == "." || name == "..") return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

bool isSafeEntryPath(std::string_view webPath) {
  return !webPath.empty() && webPath.back() != '/' && isSafeWebPath(webPath);
}

bool isPathUnder(std::string_view path, std::string_view folder) {
  if (!path.empty() && path.back() == '/') path.remove_suffix(1);
  if (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
  if (path.size() < folder.size() || path.substr(0, folder.size()) != folder) return false;
  return path.size() == folder.size() || path[folder.size()] == '/';
}

std::string safeFolderName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (out.empty() || out == "." || out == "..") return "_";
  return out;
}

}  // namespace nb
