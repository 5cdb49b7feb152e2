#pragma once
// The per-user catalogue store (vemountex3.db): the last copy of what the
// service said about the signed-in account. Libraries (MOUNTS), enterprises
// (ENTS), enterprise templates (TEMPLATES), favourite groups (FAVORITESINFO)
// and their files (FAVORITESITEM), hot files (HOTFILE), enterprise roles
// (ROLE), a small per-user configuration (USERCONFIG) and the server's
// account settings (SETTING). The server's lists are the source of truth;
// callers replace rows after each successful fetch.
//
// One shared instance, made without a file; setPath points it at the
// signed-in user's file at every sign-in. Before the first setPath reads
// answer their defaults and writes do nothing.
//
// Every operation is one job on the store's serial queue, synchronous on the
// caller's thread, and may be called from any thread, but never from inside
// another job of this store (the queue refuses it). Reads answer a fixed
// default (empty list, "", false, nullopt, or a library whose nMountID is -1)
// both when nothing matches and when the statement fails. Writes return
// nothing: a write that still fails after its retries is dropped. Every value
// goes into SQL as a bound parameter; ids are 64-bit.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "api/models/EntItem.h"
#include "api/models/FavoritesItem.h"
#include "api/models/MagicItem.h"
#include "api/models/MountItem.h"
#include "api/models/SettingItem.h"
#include "api/models/TemplateItem.h"
#include "foundation/sqlite/MySqlite.h"
#include "stores/catalogue/EntRoleEx.h"

namespace nb {

class Mountsdb : public MySqlite {
 public:
  // Seeds of USERCONFIG: the ignore list is written only when the table is
  // created, the office list whenever its row is missing at an open.
  static constexpr std::string_view kDefaultIgnore = "tmp;lik;pvm";
  static constexpr std::string_view kDefaultOffice = "doc;docx;xls;xlsx;ppt;pptx";

  // The process-wide instance, made on first use without a file.
  static Mountsdb& shareMountsdb();

  Mountsdb() = default;

  // --- Opening and closing ---------------------------------------------------
  // Opens `path` with the integrity check on: tables, seeds, the version
  // migration, then a damaged file is restored from its backup. A previous
  // connection is closed.
  void setPath(const std::string& path);
  // Closes the connection; a later operation reopens the same file.
  void exit();

  // Creates the nine tables, seeding the ignore list when USERCONFIG is new,
  // then the office list when its row is missing. The flag is not used.
  void createTable(bool integrity) override;
  // Brings a file of the earlier layout (user_version 0) to version 1: adds
  // ENTS.info, MOUNTS.info and MOUNTS.dateline (back-filled with '' and 0
  // only when the column was really added) and drops FAVORITES and
  // MAGICFOLDER. Does nothing on a file already at version 1.
  void updateTable() override;

  // --- Libraries (MOUNTS) ------------------------------------------------------
  // Upsert keyed by nMountID; nCompare and bRemove are not stored.
  void addMount(const MountItem& item);
  // The update of addMount alone: no row, no change.
  void updateMount(const MountItem& item);
  // The library, or an item whose nMountID is -1 (other fields initial).
  MountItem getMountByMountID(std::int64_t mountId);
  // As above by organisation id; among several matches the last row read.
  MountItem getMountByOrgID(std::int64_t orgId);
  // Organisation type descending, member type ascending, add time ascending.
  std::vector<MountItem> getMounts();
  // Libraries whose name contains `text` in the order of getMounts. The text
  // is a LIKE pattern piece: "_" and "%" are wildcards, ASCII case is ignored.
  std::vector<MountItem> searchMounts(const std::string& text);
  void removeByMountID(std::int64_t mountId);
  void removeMountOrgID(std::int64_t orgId);

  // --- Enterprises (ENTS) --------------------------------------------------------
  // Upsert keyed by nEntID; strPropertys goes to the info column.
  void addEnt(const EntItem& item);
  std::vector<EntItem> getEnts();  // in table order
  std::optional<EntItem> getEnt(std::int64_t entId);
  void delEnt(std::int64_t entId);

  // --- Templates (TEMPLATES) -----------------------------------------------------
  // Upsert keyed by (nEntID, strFullpath with ASCII case ignored).
  void addTemplate(const TemplateItem& item);
  std::vector<TemplateItem> getTemplates(std::int64_t entId);
  std::vector<TemplateItem> getTemplates();
  void removeTemplate(std::int64_t entId, const std::string& fullpath);
  void removeTemplates();
  // `entIds` is a ","-separated list of enterprise ids; empty parts are
  // skipped. Deletes the templates of every listed enterprise in one job;
  // nothing when no part remains.
  void removeTemplates(std::string_view entIds);

  // --- Favourite groups (FAVORITESINFO) ------------------------------------------
  // Upsert keyed by nID.
  void addMagic(const MagicItem& item);
  void updateMagic(std::int64_t id, std::int64_t type, const std::string& name,
                   const std::string& color);
  // Every stored group, each with bRemove set.
  std::vector<MagicItem> getMagics();
  void removeMagic(std::int64_t id);
  void removeAllMagic();
  // Makes the stored groups those of `server`. A server group that is new or
  // differs in type, name or colour (compared exactly, case included) is
  // upserted and announced to the pages as "AddMagicObject" with its own
  // data; a stored group the server no longer lists is deleted and announced
  // as "RemoveMagicObject" with its stored data. Events go through
  // Util::getAppDelegate()->setAllCustomEvent, outside any store job, and
  // are sent even when the write they report failed. Not one transaction.
  void updateAllMagic(const std::vector<MagicItem>& server);

  // --- Favourite files (FAVORITESITEM) -------------------------------------------
  // One exclusive transaction: each item not yet stored as (group, library,
  // hash) is inserted; an insert that still fails after its retries (the
  // declared key (group, hash) rejects the same hash under another library)
  // is skipped. What was written is committed even if the loop ends early.
  void addFavorites(const std::vector<FavoritesItem>& items);
  // The same for one file, without a transaction.
  void addFavorites(std::int64_t id, std::int64_t mountId, const std::string& hash);
  std::vector<FavoritesItem> getFavorites(std::int64_t id);
  // The group ids holding the file (hash case ignored), in row order.
  std::vector<std::int64_t> getTypeForHash(const std::string& hash);
  void removeFavorites();
  void removeFavorites(std::int64_t id);
  void removeFavoritesByID(std::int64_t id, const std::string& hash);
  // In every group.
  void removefavoritesByMountID(std::int64_t mountId, const std::string& hash);

  // --- Hot files (HOTFILE) --------------------------------------------------------
  // One exclusive transaction as addFavorites; hashes compared exactly.
  void addHotFiles(const std::vector<std::string>& hashes);
  std::vector<std::string> getHotFiles();
  bool checkHotFile(const std::string& hash);
  void removeHotFiles();

  // --- User configuration (USERCONFIG) -----------------------------------------
  // Getters answer "" when the row is missing.
  void setIgnore(const std::string& value);
  std::string getIgnore();
  // Inserts the office row only when it is missing; never overwrites.
  void initOffice(const std::string& value);
  void setOffice(const std::string& value);
  std::string getOffice();
  // The raw JSON text of the server's shortcut answer.
  void addLinks(const std::string& json);
  std::string getLinks();
  // The content cache's key text.
  void setCacheDataKey(const std::string& key);
  std::string getCacheDataKey();

  // --- Server settings (SETTING) -------------------------------------------------
  // A plain insert: callers clear the table with removeSettings first.
  void addSetting(const SettingItem& item);
  // The last row read whose name matches (ASCII case ignored), or nullopt.
  std::optional<SettingItem> getSetting(const std::string& name);
  void removeSettings();

  // --- Enterprise roles (ROLE) ---------------------------------------------------
  // Upsert keyed by (nID, nEntID); the declared key is the role id alone, so
  // a role id stored under another enterprise is not inserted again.
  void addRole(const EntRoleEx& role);
  // One exclusive transaction: empties the table, then inserts every role
  // (a failed insert is skipped; what was written is committed).
  void resetAllRoles(const std::vector<EntRoleEx>& roles);
  std::vector<EntRoleEx> getRoles();
  void removeRole(std::int64_t roleId, std::int64_t entId);

 private:
  // Upsert of one USERCONFIG key; with `overwrite` off an existing row stays.
  void setConfig(std::string_view key, const std::string& value, bool overwrite);
  std::string getConfig(std::string_view key);
};

}  // namespace nb
