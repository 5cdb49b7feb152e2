#pragma once
// Answer of opening an upload session on a storage server (upload_init).

#include <cstdint>
#include <string>

#include "api/models/RequestRet.h"

namespace nb {

class RetUploadInit : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  std::string session;        // sent with every later call of the session
  std::int64_t piecelen = 0;  // piece length in bytes the server wants; 32 bits
};

}  // namespace nb
