#pragma once
// The fixed local paths of one library and the two page answers built on
// its link list. The sync manager answers these through its own methods;
// they live here so that anything holding a library id or a link list can
// reach them.
//
// Each runs on the caller's thread and takes only the locks of the objects
// it is given.

#include <cstdint>
#include <string>

namespace nb {

class LinkFolder;
class Syncdb;
class UserData;

namespace links {

// The file name of a library's sync store inside its folder.
inline constexpr const char* kSyncDbName = "vesyncdbex3.db";

// Creates the library's folder "<user folder>/<id>" in the session `user`
// and answers the path of the library's sync store in it.
std::string getsyncdbpath(const UserData& user, int64_t nMountID);
// Creates the same folder and answers "<user folder>/<id>/cache".
std::string getsynctranscachepath(const UserData& user, int64_t nMountID);

// The local folder to propose when the user links `webPath`: the folder it
// was last linked to when the store remembers one, else the default sync
// folder of `user`, the library's name and the web path ("<sync
// folder>/<name>" for the whole library). The name is made one safe path
// component; an unsafe web path gets "". `store` may be null (nothing
// remembered).
std::string gGetNormalSyncPath(const UserData& user, Syncdb* store,
                               const std::string& strMountName, const std::string& webPath);

// "0" or "1" for a page: for a folder, "0" when it lies in a link; for a
// file, "0" when something exists at its local path, "1" when nothing does
// or it maps to no local path.
std::string gCheckEmpty(const LinkFolder& links, const std::string& webPath, bool dir);

}  // namespace links
}  // namespace nb
