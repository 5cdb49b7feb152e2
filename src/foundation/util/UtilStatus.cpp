#include "foundation/util/UtilStatus.h"

#include "foundation/json/Json.h"
#include "foundation/util/UtilUrl.h"

namespace nb::Util {
namespace {

// The text key of a code of the table; empty for codes without a text.
std::string_view messageKey(std::int64_t code) {
  switch (code) {
    case kFileExists: return "文件已存在";
    case kNetworkDown: return "网络未连接";
    case kMoveIntoChild: return "不能移动到子目录下";
    case kNoSuchSync: return "同步不存在";
    case kSyncSetupFailed: return "设置同步失败";
    case kBadParameters: return "参数格式不正确";
    case kNoServerAddress: return "还没有获取到服务器地址";
    case kEmojiName: return "不支持Emoji表情字符作为文件名";
    case kCopyIntoChild: return "不能复制到子目录下";
    case kFolderExists: return "文件夹已存在";
    default: return {};
  }
}

}  // namespace

std::string GetMyErrorMessage(std::int64_t code) {
  const std::string_view key = messageKey(code);
  return key.empty() ? std::string() : localizedStringForKey(key);
}

std::string errorInfoWithCode(std::int64_t code) {
  return errorInfoWithCode(code, GetMyErrorMessage(code));
}

std::string errorInfoWithCode(std::int64_t code, std::string_view message) {
  const JsonValue answer = JsonValue::object({{"error", code}, {"message", message}});
  // The writer fails only on non-finite numbers, which this object cannot hold.
  return JSONString(answer).value_or(R"({"error":1,"message":""})");
}

std::optional<JsonValue> dictionaryWithJsonInfo(std::string_view json) {
  return objectFromJSONString(json);
}

int changestatus(std::int64_t status, std::int64_t linkType) {
  switch (status) {
    case 1: case 8: return 1;
    case 2: return 2;
    case 3: case 4: case 5: case 6: case 7: return 3;
    case 9: return linkType == 0 ? 2 : 3;
    default: return 0;
  }
}

bool checkServerSpaceMax(std::int64_t code) {
  return code == 403212 || code == 403218 || code == 403219 || code == 40321;
}

bool CheckNote(std::string_view text) { return text == "unopen"; }

}  // namespace nb::Util
