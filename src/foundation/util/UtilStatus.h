#pragma once
// The status answer that page functions return, {"error":code,"message":text},
// with its fixed table of codes, and the small code tables that go with it.
// Pure apart from the language lookup; callable from any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/json/JsonValue.h"

namespace nb::Util {

// Codes of the status answer that carry a fixed text.
enum StatusCode : std::int64_t {
  kStatusOk = 0,
  kStatusFailed = 1,
  kFileExists = 10000,
  kNetworkDown = 10001,
  kMoveIntoChild = 10004,
  kNoSuchSync = 10005,
  kSyncSetupFailed = 10006,
  kBadParameters = 10007,
  kNoServerAddress = 10008,
  kEmojiName = 10009,
  kCopyIntoChild = 10010,
  kCallerText = 10011,  // always sent with the caller's own text
  kFolderExists = 10012,
};

// The localized text of a code of the table; "" for every other code
// (10002, 10003 and 10011 included).
std::string GetMyErrorMessage(std::int64_t code);

// Compact JSON {"error":code,"message":GetMyErrorMessage(code)}.
std::string errorInfoWithCode(std::int64_t code);
// Compact JSON {"error":code,"message":message}.
std::string errorInfoWithCode(std::int64_t code, std::string_view message);

// The parsed JSON object or array; nothing for any other text.
std::optional<JsonValue> dictionaryWithJsonInfo(std::string_view json);

// The status a page shows for a file from its sync record's status and its
// library's link type: 1,8 -> 1; 2 -> 2; 3..7 -> 3; 9 -> 2 for link type 0
// else 3; anything else 0.
int changestatus(std::int64_t status, std::int64_t linkType);

// True for the server's storage-full codes 403212, 403218, 403219, 40321.
bool checkServerSpaceMax(std::int64_t code);

// True when the text is exactly "unopen".
bool CheckNote(std::string_view text);

}  // namespace nb::Util
