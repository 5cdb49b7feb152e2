#include "api/calls/UtilErrorInfo.h"

#include "foundation/util/UtilStatus.h"

namespace nb::Util {

std::string errorInfoWithReq(const RequestRet& ret) {
  if (ret.nStatusCode() == 0) return errorInfoWithCode(10001);
  return errorInfoWithCode(ret.nErrorCode(), ret.strErrorMsg());
}

}  // namespace nb::Util
