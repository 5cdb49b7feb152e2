#pragma once
// Answer of the enterprise grant: a one-time sign-in key.

#include <string>

#include "api/models/RequestRet.h"

namespace nb {

class RetEntGrantItem : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  std::string strKey;  // "nbkey"; "" when absent. A credential: never log it.
};

}  // namespace nb
