#pragma once
// The status answer a page gets for a web API result.

#include <string>

#include "api/models/RequestRet.h"

namespace nb::Util {

// No answer at all (status 0) is the "network unreachable" answer 10001;
// anything else carries the server's error code and its message ("" when the
// server sent none).
std::string errorInfoWithReq(const RequestRet& ret);

}  // namespace nb::Util
