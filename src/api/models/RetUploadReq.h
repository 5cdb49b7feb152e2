#pragma once
// Answer of upload_req: the byte offset from which the upload resumes. Set by
// the call only on a 200 with the marker.

#include <cstdint>
#include <string_view>

#include "api/models/RequestRet.h"

namespace nb {

class RetUploadReq : public RequestRet {
 public:
  // The leading decimal number of the body (blanks skipped, optional sign);
  // 0 when the body is not UTF-8 or starts with no number. A negative number
  // also gives 0: read as unsigned it would skip the whole upload.
  static std::uint64_t offsetFromBody(std::string_view body);

  std::uint64_t offset = 0;
};

}  // namespace nb
