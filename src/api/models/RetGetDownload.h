#pragma once
// Answer of asking for download URLs of a content hash
// (/1/file/get_url_by_filehash). The transfer engine tries the URLs in order.

#include <cstdint>
#include <string>
#include <vector>

#include "api/models/RequestRet.h"

namespace nb {

class RetGetDownload : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  std::uint64_t filesize = 0;
  // The texts of "urls" in the server's order; empty when it is no array.
  // Elements that are not texts are left out: they name no address.
  std::vector<std::string> urls;
};

}  // namespace nb
