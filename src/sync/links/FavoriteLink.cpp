#include "sync/links/FavoriteLink.h"

#include <filesystem>
#include <system_error>

#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilSession.h"
#include "platform/Log.h"

namespace nb {
namespace {

// Taken means anything is there, a dangling link included.
bool taken(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

}  // namespace

std::string addFavoriteLink(const std::string& localFolder) {
  const auto app = Util::getAppDelegate();
  const std::string favorites = app->favritePathString();
  if (favorites.empty()) return {};
  if (!Util::createfolder(favorites)) {
    NBLOG_ERROR("cannot create the favourites folder {}", favorites);
    return {};
  }
  Util::addfoldertofavorite(favorites);
  if (app->initFavoriteFind(localFolder)) return {};

  const std::string name = getFilename(lastremoveslash(localFolder));
  std::string link = favorites + "/" + name;
  for (int64_t n = 1; taken(link); ++n) link = favorites + "/" + name + "(" + std::to_string(n) + ")";
  if (!Util::createlink(link, localFolder)) {
    NBLOG_ERROR("cannot link {} in the favourites", localFolder);
    return {};
  }
  return link;
}

}  // namespace nb
