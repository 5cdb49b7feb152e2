#include "shell/app/FavoriteLinks.h"

#include <functional>
#include <system_error>

#include "platform/Log.h"

namespace nb {

namespace fs = std::filesystem;

namespace {

// Calls `visit` with each symbolic link in `folder` and its target until it
// answers true.
void forEachLink(const std::string& folder,
                 const std::function<bool(const fs::path& link, const std::string& target)>& visit) {
  if (folder.empty()) return;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (!it->is_symlink(error)) continue;
    const fs::path target = fs::read_symlink(it->path(), error);
    if (error) continue;
    if (visit(it->path(), target.string())) return;
  }
}

void removeLink(const fs::path& link) {
  std::error_code error;
  if (!fs::remove(link, error) && error) {
    NBLOG_WARN("cannot remove the favourite {}: {}", link.string(), error.message());
  }
}

}  // namespace

std::string FavoriteLinks::folder() const {
  std::lock_guard lock(mutex_);
  return folder_;
}

void FavoriteLinks::setFolder(std::string folder) {
  std::lock_guard lock(mutex_);
  folder_ = std::move(folder);
}

void FavoriteLinks::initFavoriteScan() {
  std::vector<LinkFavorite> found;
  forEachLink(folder(), [&](const fs::path& link, const std::string& target) {
    found.push_back({link, target, true});
    return false;
  });
  std::lock_guard lock(mutex_);
  favorites_ = std::move(found);
}

bool FavoriteLinks::initFavoriteFind(const std::string& target) {
  std::lock_guard lock(mutex_);
  for (LinkFavorite& favorite : favorites_) {
    if (favorite.srcpathString == target) {
      favorite.bRemove = false;
      return true;
    }
  }
  return false;
}

void FavoriteLinks::initFavoriteClear() {
  std::vector<fs::path> doomed;
  {
    std::lock_guard lock(mutex_);
    for (const LinkFavorite& favorite : favorites_) {
      if (favorite.bRemove) doomed.push_back(favorite.pathString);
    }
  }
  for (const fs::path& link : doomed) removeLink(link);
}

bool FavoriteLinks::findFavorite(const std::string& target) const {
  bool found = false;
  forEachLink(folder(), [&](const fs::path& link, const std::string& linkTarget) {
    std::error_code error;
    found = linkTarget == target && fs::is_directory(link, error);
    return found;
  });
  return found;
}

void FavoriteLinks::deleteFavorite(const std::string& target) {
  forEachLink(folder(), [&](const fs::path& link, const std::string& linkTarget) {
    if (linkTarget != target) return false;
    removeLink(link);
    return true;
  });
}

}  // namespace nb
