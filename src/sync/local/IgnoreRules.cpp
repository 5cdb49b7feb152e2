#include "sync/local/IgnoreRules.h"

#include "api/session/UserData.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilNames.h"

namespace nb {
namespace {

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Rules 1 and 2: a hidden or a temporary component.
bool hiddenOrTemporary(std::string_view text) {
  return contains(text, "/.") || contains(text, "/~");
}

// Rules 5 to 8: archive residue, the engine's own copies and folder icons.
bool systemResidue(std::string_view text) {
  return contains(lowercaseString(text), "/__macosx/") || endsWith(text, ".nbcopy") ||
         endsWith(text, "__MACOSX") || text == "Icon\r";
}

}  // namespace

bool isigonore(std::string_view text) {
  return hiddenOrTemporary(text) || UserData::shareUserData().checkignore(text) ||
         Util::isWindowsErrorName(text) || systemResidue(text);
}

bool isigonoresys(std::string_view text) {
  return hiddenOrTemporary(text) || systemResidue(text);
}

std::string_view ruleText(std::string_view localPath, std::string_view linkFolder) {
  while (linkFolder.size() > 1 && linkFolder.back() == '/') linkFolder.remove_suffix(1);
  if (linkFolder.empty() || localPath.compare(0, linkFolder.size(), linkFolder) != 0) {
    return localPath;
  }
  if (localPath.size() == linkFolder.size()) return localPath.substr(localPath.size());
  if (localPath[linkFolder.size()] != '/') return localPath;
  return localPath.substr(linkFolder.size());
}

bool isigonoreLocal(std::string_view localPath, std::string_view linkFolder) {
  return isigonore(ruleText(localPath, linkFolder));
}

bool isigonoresysLocal(std::string_view localPath, std::string_view linkFolder) {
  return isigonoresys(ruleText(localPath, linkFolder));
}

}  // namespace nb
