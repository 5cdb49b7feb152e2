#pragma once
// One parameter of a web API call. A call's parameters are an ordered list:
// the order in which they were added is the order on the wire.

#include <string>
#include <vector>

namespace nb {

struct SignKey {
  std::string strKey;    // the parameter name
  std::string strValue;  // the value, already as text ("" rather than nothing)
};

using SignKeyList = std::vector<SignKey>;

}  // namespace nb
