#pragma once
// Metadata of a pushed "offline" message. Texts the message lacks stay
// without a value.

#include <cstdint>
#include <optional>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"
#include "foundation/json/Json.h"

namespace nb {

class DialogMessageOffline : public BaseForJosnOrObject {
 public:
  void setValueWithJson(const JsonValue& json) override {
    if (!json.isObject()) return;
    strUuidHash = jsonText(json, "hash");
    nMountID = jsonInt64(json, "mount_id");
    strWebPath = jsonText(json, "fullpath");
    strFileHash = jsonText(json, "filehash");
    ullFileSize = jsonUInt64(json, "filesize");
    nState = jsonInt64(json, "state");
    strErrorMsg = jsonText(json, "error");
  }

  std::optional<std::string> strUuidHash = std::string();
  std::int64_t nMountID = 0;
  std::optional<std::string> strWebPath = std::string();
  std::optional<std::string> strFileHash = std::string();
  std::uint64_t ullFileSize = 0;  // bytes
  std::int64_t nState = 0;
  std::optional<std::string> strErrorMsg = std::string();
};

}  // namespace nb
