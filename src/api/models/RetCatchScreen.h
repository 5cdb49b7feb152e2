#pragma once
// Answer of the screenshot URL call (/1/file/get_screenshot_url).

#include <string>

#include "api/models/RequestRet.h"

namespace nb {

class RetCatchScreen : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  std::string url;
};

}  // namespace nb
