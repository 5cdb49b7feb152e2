#pragma once
// The per-user message store: the chat dialogs the pages show, their members
// and messages, and three named times. Its file is encrypted with a key
// formed at each open from the computer id, the user id and a fixed salt, so
// a file copied to another machine or opened for another user cannot be read:
// such a file is set aside as "<path>_error" and the store starts empty
// (accepted: the messages are a cache of what the server holds).
//
// One instance per session, held by the sync centre. Every operation is one
// job on the store's queue, synchronous on the caller's thread; values reach
// SQL only as bound parameters. Reads answer their defaults (0, an empty
// list, a record with initial values) when the statement fails or no row
// matches; writes report nothing. The array forms run in one exclusive
// transaction that always ends: an element that cannot be handled skips the
// rest, and what was written before it is committed.
//
// Once closed the store stays closed: its queue never reopens the file
// without the key, so later operations read as empty and write nothing.
//
// Thread-safety: every member may be called from any thread.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/json/JsonValue.h"
#include "foundation/sqlite/MySqlite.h"
#include "stores/messages/Dialog.h"
#include "stores/messages/DialogMember.h"
#include "stores/messages/DialogMessage.h"
#include "stores/messages/DialogRead.h"
#include "stores/messages/DialogSetting.h"

namespace nb {

class BaseController;

class MessageDb : public MySqlite {
 public:
  // Names of the TableDateline rows seeded at every open.
  static constexpr const char* kDatelineDialog = "dateline_dialog";
  static constexpr const char* kDatelineRead = "dateline_read";
  static constexpr const char* kDatelineSetting = "dateline_setting";

  // The cipher passphrase: lower-case hex SHA-1 of
  // "<computerid>_<userID>_<salt>". Never log it.
  static std::string messageKey(std::string_view computerid, std::int64_t userID);

  // Opens (creating) the store at `path` ("vemessage3.db" of the user's
  // folder) keyed for that computer and user. Never null; a file that cannot
  // be opened at all gives a store whose operations do nothing.
  static std::shared_ptr<MessageDb> initpath(const std::string& path, std::string_view computerid,
                                             std::int64_t userID);
  // The same for the signed-in session: the computer and user of the shared
  // UserData. The sync centre's opener at each session start.
  static std::shared_ptr<MessageDb> initpath(const std::string& path);

  // Use initpath; the store is closed until init runs.
  MessageDb() = default;

  // Keys the connection first, then creates the tables and seeds the times;
  // compacts the file when `integrity` is set.
  void createTable(bool integrity) override;
  // Adds the columns later versions brought, back-filling existing rows.
  void updateTable() override;

  std::string strKey() const;
  void setStrKey(std::string key);

  // The time of a named row; 0 when there is none.
  std::uint64_t getTableDateline(const std::string& name);
  // Changes an existing row; a name without a row inserts nothing.
  void setTableDateline(const std::string& name, std::uint64_t dateline);

  // --- Dialogs (dialog_list) ---------------------------------------------
  // Upsert replacing every column, the sticky time included.
  void addDialog(const Dialog& dialog);
  // Batch of upserts in one exclusive transaction (see above).
  void addDialogs(const std::vector<Dialog>& dialogs);
  // Changes only the columns whose keys the JSON object text carries ("id"
  // names the dialog); never inserts.
  void updateDialog(std::string_view json);
  // Removes the dialog with its members and messages.
  void deleteDialog(const std::string& dialogid);
  std::vector<Dialog> getDialogs();
  Dialog getDialog(const std::string& dialogid);
  // Dialogs whose name contains `key` by SQLite's LIKE ("%" and "_" in the
  // key act as wildcards, ASCII letters match either case).
  std::vector<Dialog> searchDialogs(const std::string& key);
  std::uint64_t getDialogSettingDateline(const std::string& dialogid);
  void updateDialogSetting(const std::string& dialogid, std::uint64_t dateline,
                           const std::string& setting);
  void updateDialogSettings(const std::vector<DialogSetting>& settings);
  void updateDialogRead(const std::string& dialogid, std::uint64_t dateline);
  void updateDialogReads(const std::vector<DialogRead>& reads);
  std::uint64_t getLastMessageDateline(const std::string& dialogid);
  void updateLastMessageDateline(const std::string& dialogid, std::uint64_t dateline);
  void updateDialogSticky(const std::string& dialogid, std::uint64_t dateline);

  // --- Members (dialog_member), keyed by dialog and member id ------------
  void addDialogMember(const DialogMember& member);
  void addDialogMembers(const std::vector<DialogMember>& members);
  void deleteDialogMember(const std::string& dialogid, std::int64_t memberid);
  // Each element a JSON number or decimal text.
  void deleteDialogMembers(const std::string& dialogid, const std::vector<JsonValue>& memberids);
  void deleteDialogAllMembers(const std::string& dialogid);
  std::vector<DialogMember> getDialogMembers(const std::string& dialogid);
  // SQLite's LIMIT rules: a count of 0 gives none, a negative count all
  // rows from `start` on.
  std::vector<DialogMember> getDialogMembers(const std::string& dialogid, std::int64_t start,
                                             std::int64_t count);
  DialogMember getDialogMember(const std::string& dialogid, std::int64_t memberid);

  // --- Messages (dialog_message), keyed by message id alone ---------------
  // Upsert by (dialog, id); an id stored under another dialog stores nothing.
  void addDialogMessage(const DialogMessage& message);
  void addDialogMessages(const std::vector<DialogMessage>& messages);
  // Stores each element under `dialogid`; the caller's records change.
  void addDialogMessages(const std::string& dialogid, std::vector<DialogMessage>& items);
  void deleteDialogMessage(const std::string& dialogid, const std::string& messageid);
  void deleteDialogMessages(const std::string& dialogid,
                            const std::vector<std::string>& messageids);
  // Every message of the dialog; the dialog and its members stay.
  void deleteDialogMessages(const std::string& dialogid);
  void updateDialogMessageState(const std::string& dialogid, const std::string& messageid,
                                std::int64_t state);
  void updateDialogMessageDateline(const std::string& dialogid, const std::string& messageid,
                                   std::uint64_t dateline);
  // Messages strictly older (`before`) or newer than `dateline`; with a
  // count, the newest `count` of those; always oldest first.
  std::vector<DialogMessage> getDialogMessages(const std::string& dialogid, std::uint64_t dateline,
                                               std::int64_t count, bool before);
  // Messages whose content contains `key` (LIKE rules); count 0: no limit.
  std::vector<DialogMessage> searchDialogMessages(const std::string& dialogid,
                                                  const std::string& key, std::int64_t count);
  std::vector<DialogMessage> searchDialogMessages(const std::string& key, std::int64_t count);

  // --- Page commands --------------------------------------------------------
  // The command interpreter behind the page function gDialogAction. `cmd`
  // and `json` are the values the page passed (a text each, when well
  // formed); `db` is the session's store (the sync centre's messagedb), null
  // between sessions; `controller` (not owned, may be null) is handed to the
  // push-message parser. Answers a JSON text, a usage text, or "" (getdialog
  // and getmember without a store).
  static std::string action(MessageDb* db, const JsonValue& cmd, const JsonValue& json,
                            BaseController* controller);

 private:
  mutable std::mutex keyMutex_;
  std::string strKey_;  // guarded by keyMutex_
};

}  // namespace nb
