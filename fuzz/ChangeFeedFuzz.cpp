// libFuzzer target for the change feed's page reader: whatever the service
// answers, a page reads without crashing, and every item the engine would
// act on names a path that maps into the linked folder and back unchanged.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "api/models/RetCompare.h"
#include "foundation/json/Json.h"
#include "platform/Log.h"
#include "stores/syncdb/LinkFolderNode.h"
#include "sync/links/LinkFolder.h"
#include "sync/links/SafeWebPath.h"
#include "sync/server/FeedPaths.h"

namespace {

void check(bool ok) {
  if (!ok) {
    __builtin_trap();
  }
}

constexpr const char* kFolder = "/nonexistent-fuzz-root/library";

const nb::LinkFolder& wholeLibrary() {
  static const auto links = [] {
    auto made = std::make_unique<nb::LinkFolder>();
    made->addNode(nb::LinkFolderNode{.strWebPath = "", .strFullPath = kFolder, .bDir = true, .nType = 2});
    return made;
  }();
  return *links;
}

void checkItem(const nb::CompareItem& item) {
  for (const std::string* path : {&item.strWebPath, &item.strWebPathTo}) {
    const std::string local = wholeLibrary().literalPathByWebPath(*path);
    if (!nb::isSafeWebPath(*path)) {
      check(local.empty());
      continue;
    }
    check(local.empty() || nb::isPathUnder(local, kFolder));
    if (!nb::isSafeEntryPath(*path)) continue;
    check(!local.empty());
    check(wholeLibrary().relativeRathByFullPath(local) == *path);
    check(nb::entryPathOfCursor(nb::cursorPathOfEntry(*path)) == *path);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nb::platform::logger()->set_level(spdlog::level::off);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Read as a page body is read, without the session the answer path needs.
  const auto json = nb::dictionaryFromData(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!json || !json->isObject()) return 0;
  nb::RetCompare page;
  page.setValueWithJson(*json);
  if (page.itemlist) {
    for (const nb::CompareItem& item : *page.itemlist) checkItem(item);
  }
  return 0;
}
