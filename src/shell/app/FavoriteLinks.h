#pragma once
// The favourites folder: one symbolic link per linked local folder, kept in
// a folder the desktop shows as a bookmark. The links found at session start
// are remembered; those no synced library claims are removed once the sync
// centre loaded the libraries.
//
// Thread-safety: every member is safe from any thread.

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace nb {

class FavoriteLinks {
 public:
  // The folder; "" while no session set one.
  std::string folder() const;
  void setFolder(std::string folder);

  // Remembers every symbolic link in the folder with its target, each marked
  // for removal, in the order the file system lists them.
  void initFavoriteScan();
  // Claims the first remembered link to `target` (its removal mark is
  // cleared); false when none points there.
  bool initFavoriteFind(const std::string& target);
  // Deletes the link of every remembered record still marked for removal.
  void initFavoriteClear();

  // Whether the folder holds a link to the folder `target`.
  bool findFavorite(const std::string& target) const;
  // Deletes the first link in the folder whose target is `target`.
  void deleteFavorite(const std::string& target);

 private:
  struct LinkFavorite {
    std::filesystem::path pathString;  // the link
    std::string srcpathString;         // its target
    bool bRemove = true;
  };

  mutable std::mutex mutex_;
  std::string folder_;                     // guarded by mutex_
  std::vector<LinkFavorite> favorites_;    // guarded by mutex_
};

}  // namespace nb
