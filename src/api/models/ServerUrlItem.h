#pragma once
// One storage server of a create-file answer, and the base URL it gives.

#include <cstdint>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"

namespace nb {

class ServerUrlItem : public BaseForJosnOrObject {
 public:
  // The ports may come as texts or numbers; both are kept as text.
  void setValueWithJson(const JsonValue& json) override;

  // "host[:port][/path]" without scheme, or "" when the record gives no
  // usable address. On entry `https` says whether HTTPS is preferred; on
  // return it names the scheme to use. Default ports (80, 443) are left out.
  std::string hostWithPort(bool& https) const;

  std::string strHost;   // "hostname"
  std::string strPort;   // HTTP port as text; "0" when the server has none
  std::string strHttps;  // HTTPS port as text; "0" when the server has none
  std::string strPath;   // appended after a "/"
  std::string strSign;   // kept; nothing reads it
  std::uint64_t ullDateline = 0;
};

}  // namespace nb
