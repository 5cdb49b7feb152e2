#pragma once
// One server-side client setting. For "delay_sync_file" the property is the
// JSON text of an object mapping file extensions to delays in seconds.

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/json/JsonValue.h"

namespace nb {

struct SettingItem {
  static constexpr std::string_view kDelaySyncFile = "delay_sync_file";

  // A fresh record filled from `json`; anything but an object gives the
  // initial values.
  static SettingItem initWithJsonDictionary(const JsonValue& json);
  void setValueWithJson(const JsonValue& json);

  std::string strSetting;   // the setting's name; "" when absent or empty
  std::int64_t nValue = 0;  // read through 32 bits
  std::string strProperty;  // "" when absent, null or empty
};

}  // namespace nb
