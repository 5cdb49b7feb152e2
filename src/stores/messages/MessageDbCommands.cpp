// The command interpreter through which the pages reach the message store.
#include <functional>
#include <string>
#include <vector>

#include "foundation/json/Json.h"
#include "stores/messages/MessageDb.h"
#include "stores/messages/MessageDbUsage.h"
#include "stores/messages/SocketParseMessage.h"

namespace nb {

using messagedb::usageText;

namespace {

constexpr const char* kEmpty = "{}";
constexpr const char* kEmptyList = R"({"list":[]})";
// "searchmessages" answers at most this many messages.
constexpr std::int64_t kSearchLimit = 500;

// What a command gets: the store (null between sessions), the parsed
// argument (an object, except for the commands that take the text), the
// argument text, and the page for the push-message parser.
struct Call {
  MessageDb* db;
  const JsonValue& args;
  std::string_view text;
  BaseController* controller;
};

// Ids are read as their text; a number gives its decimal text and any other
// kind "", so a malformed id selects nothing.
std::string id(const JsonValue& args, std::string_view key) { return jsonNumberOrText(args, key); }

template <typename Record>
std::string listAnswer(const std::vector<Record>& records) {
  JsonArrayBuilder list;
  list.reserve(records.size());
  for (const Record& record : records) list.push(record.dictionary());
  return JSONString(JsonObjectBuilder().set("list", list.build()).build()).value_or(kEmptyList);
}

std::string recordAnswer(const BaseForJosnOrObject& record) {
  return JSONString(record.dictionary()).value_or(std::string());
}

std::string addDialogs(const Call& c) {
  const JsonValue& list = c.args["list"];
  if (c.db == nullptr || !list.isArray()) return kEmpty;
  for (const JsonValue& element : list.elements()) {
    c.db->addDialog(BaseForJosnOrObject::init<Dialog>(element));
  }
  return kEmpty;
}

std::string addDialog(const Call& c) {
  if (c.db != nullptr) c.db->addDialog(BaseForJosnOrObject::init<Dialog>(c.args));
  return kEmpty;
}

std::string updateDialog(const Call& c) {
  if (c.db != nullptr) c.db->updateDialog(c.text);
  return kEmpty;
}

std::string getDialog(const Call& c) {
  if (c.db == nullptr) return std::string();
  return recordAnswer(c.db->getDialog(id(c.args, "dialog_id")));
}

std::string getDialogs(const Call& c) {
  if (c.db == nullptr) return kEmptyList;
  return listAnswer(c.db->getDialogs());
}

std::string searchDialogs(const Call& c) {
  const std::string key = id(c.args, "key");
  if (key.empty()) return kEmpty;
  if (c.db == nullptr) return kEmptyList;
  return listAnswer(c.db->searchDialogs(key));
}

std::string delDialog(const Call& c) {
  if (c.db != nullptr) c.db->deleteDialog(id(c.args, "dialog_id"));
  return kEmpty;
}

void handOff(const Call& c, const JsonValue& object) {
  SocketParseMessage::parse(BaseForJosnOrObject::init<SocketActionItem>(object), c.controller,
                            c.db);
}

std::string addMessages(const Call& c) {
  const JsonValue& list = c.args["list"];
  if (!list.isArray()) return kEmpty;
  for (const JsonValue& element : list.elements()) handOff(c, element);
  return kEmpty;
}

std::string addMessage(const Call& c) {
  handOff(c, c.args);
  return kEmpty;
}

std::string getMessages(const Call& c) {
  if (c.db == nullptr) return kEmptyList;
  const bool before = c.args["direction"].asString() == "up";
  return listAnswer(c.db->getDialogMessages(
      id(c.args, "dialog_id"), static_cast<std::uint64_t>(jsonInt64(c.args, "dateline")),
      jsonInt64(c.args, "count"), before));
}

// Without a text key there is nothing to look for: an empty list.
std::string searchMessages(const Call& c) {
  const JsonValue& key = c.args["key"];
  if (c.db == nullptr || !(key.isString() || key.isNumber())) return kEmptyList;
  return listAnswer(c.db->searchDialogMessages(key.toText(), kSearchLimit));
}

std::string delMessage(const Call& c) {
  if (c.db != nullptr) c.db->deleteDialogMessage(id(c.args, "dialog_id"), id(c.args, "id"));
  return kEmpty;
}

std::string delAllMessage(const Call& c) {
  if (c.db != nullptr) c.db->deleteDialogMessages(id(c.args, "dialog_id"));
  return kEmpty;
}

std::string setSticky(const Call& c) {
  if (c.db != nullptr) {
    c.db->updateDialogSticky(id(c.args, "dialog_id"),
                             static_cast<std::uint64_t>(jsonInt64(c.args, "dateline")));
  }
  return kEmpty;
}

std::string addMember(const Call& c) {
  if (c.db == nullptr) return kEmpty;
  DialogMember member = BaseForJosnOrObject::init<DialogMember>(c.args);
  member.strDialogID = jsonTextOrEmpty(c.args, "dialog_id");
  c.db->addDialogMember(member);
  return kEmpty;
}

std::string getMember(const Call& c) {
  if (c.db == nullptr) return std::string();
  return recordAnswer(
      c.db->getDialogMember(id(c.args, "dialog_id"), jsonInt64(c.args, "member_id")));
}

std::string getMembers(const Call& c) {
  if (c.db == nullptr) return kEmptyList;
  return listAnswer(c.db->getDialogMembers(id(c.args, "dialog_id"), jsonInt64(c.args, "start"),
                                           jsonInt64(c.args, "count")));
}

std::string delMember(const Call& c) {
  if (c.db != nullptr) {
    c.db->deleteDialogMember(id(c.args, "dialog_id"), jsonInt64(c.args, "member_id"));
  }
  return kEmpty;
}

std::string dialogSetting(const Call& c) {
  if (c.db == nullptr) return kEmpty;
  const DialogSetting setting = BaseForJosnOrObject::init<DialogSetting>(c.args);
  c.db->updateDialogSetting(setting.strDialogID, setting.ullDateline, setting.strSetting);
  return kEmpty;
}

// How a command reads its argument.
enum class Takes {
  Object,   // a text holding a JSON object; anything else answers "{}"
  Text,     // a text, handed on unparsed
  Nothing,  // not read at all
};

struct Command {
  std::string_view name;
  Takes takes;
  std::string (*run)(const Call&);
};

// In the order names are matched.
constexpr Command kCommands[] = {
    {"adddialogs", Takes::Object, addDialogs},
    {"adddialog", Takes::Object, addDialog},
    {"updatedialog", Takes::Text, updateDialog},
    {"getdialog", Takes::Object, getDialog},
    {"getdialogs", Takes::Nothing, getDialogs},
    {"searchdialogs", Takes::Object, searchDialogs},
    {"deldialog", Takes::Object, delDialog},
    {"addmessages", Takes::Object, addMessages},
    {"addmessage", Takes::Object, addMessage},
    {"getmessages", Takes::Object, getMessages},
    {"searchmessages", Takes::Object, searchMessages},
    {"delmessage", Takes::Object, delMessage},
    {"delallmessages", Takes::Object, delAllMessage},
    {"setsticky", Takes::Object, setSticky},
    {"addmember", Takes::Object, addMember},
    {"getmember", Takes::Object, getMember},
    {"getmembers", Takes::Object, getMembers},
    {"delmember", Takes::Object, delMember},
    {"setdialogsetting", Takes::Object, dialogSetting},
};

}  // namespace

std::string MessageDb::action(MessageDb* db, const JsonValue& cmd, const JsonValue& json,
                              BaseController* controller) {
  if (!cmd.isString()) return std::string(usageText(""));
  for (const Command& command : kCommands) {
    if (command.name != cmd.asString()) continue;
    if (command.takes == Takes::Nothing) {
      return command.run({db, JsonValue::null(), "", controller});
    }
    if (!json.isString()) return std::string(usageText(command.name));
    if (command.takes == Takes::Text) {
      return command.run({db, JsonValue::null(), json.asString(), controller});
    }
    const auto args = objectFromJSONString(json.asString());
    if (!args || !args->isObject()) return kEmpty;
    return command.run({db, *args, json.asString(), controller});
  }
  return kEmpty;
}

}  // namespace nb
