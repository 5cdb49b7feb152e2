// libFuzzer target for the mapping between web paths and local paths. The
// input's lines are up to three linked web paths and then the web path to
// map; whatever they hold, a mapped path lies inside the folder of a link,
// maps back to the same web path, and a path the check refuses maps nowhere.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/text/StringHelpers.h"
#include "platform/Log.h"
#include "stores/syncdb/LinkFolderNode.h"
#include "sync/links/LinkFolder.h"
#include "sync/links/SafeWebPath.h"

namespace {

void check(bool ok) {
  if (!ok) {
    __builtin_trap();
  }
}

std::vector<std::string> lines(std::string_view input) {
  std::vector<std::string> out;
  for (std::size_t end = input.find('\n'); end != std::string_view::npos; end = input.find('\n')) {
    out.emplace_back(input.substr(0, end));
    input.remove_prefix(end + 1);
  }
  out.emplace_back(input);
  return out;
}

bool underSomeLink(const std::string& local, const std::vector<nb::LinkFolderNode>& links) {
  for (const auto& link : links) {
    if (nb::isPathUnder(local, link.strFullPath)) return true;
  }
  return false;
}

std::string withoutTrailingSlash(std::string path) {
  if (path.ends_with('/')) path.pop_back();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nb::platform::logger()->set_level(spdlog::level::off);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> parts = lines(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string webPath = parts.back();
  parts.pop_back();
  if (parts.size() > 3) parts.resize(3);

  nb::LinkFolder links;
  int n = 0;
  for (const std::string& linked : parts) {
    const std::string folder = "/nonexistent-fuzz-root/link" + std::to_string(n++);
    links.addNode(nb::LinkFolderNode{.strWebPath = linked, .strFullPath = folder, .bDir = true, .nType = 2});
  }
  const auto nodes = links.getLinkNodes();
  for (const auto& node : nodes) check(nb::isSafeWebPath(node.strWebPath));

  const std::string literal = links.literalPathByWebPath(webPath);
  const std::string normal = links.normalPathByWebPath(webPath);
  if (!nb::isSafeWebPath(webPath)) {
    check(literal.empty() && normal.empty() && !links.checkLinkByWebPath(webPath));
    return 0;
  }
  check(literal.empty() == normal.empty());
  if (literal.empty()) return 0;
  check(underSomeLink(literal, nodes) && underSomeLink(normal, nodes));
  // Back to the web path, letter case aside: the link's part keeps the
  // spelling it was linked with, and a link's own folder has no trailing "/".
  const std::string back = links.relativeRathByFullPath(literal);
  check(withoutTrailingSlash(nb::lowercaseString(back)) ==
        withoutTrailingSlash(nb::lowercaseString(webPath)));
  return 0;
}
