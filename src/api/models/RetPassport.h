#pragma once
// Answer of the passport look-up: the server host of an account or of a
// deployment.

#include <string>

#include "api/models/RequestRet.h"

namespace nb {

class RetPassport : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  std::string strServerHost;  // "domain"; "" when absent
};

}  // namespace nb
