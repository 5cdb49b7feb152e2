#include "api/models/RetUploadReq.h"

#include <charconv>

#include "foundation/text/StringHelpers.h"

namespace nb {

std::uint64_t RetUploadReq::offsetFromBody(std::string_view body) {
  // urlDecoded refuses a result that is not UTF-8; every byte is escaped
  // first so that nothing else of the body is read as an escape.
  if (!urlDecoded(urlEncoded(body))) return 0;
  std::size_t at = 0;
  while (at < body.size() && (body[at] == ' ' || body[at] == '\t' || body[at] == '\n' ||
                              body[at] == '\r' || body[at] == '\f' || body[at] == '\v')) {
    ++at;
  }
  if (at < body.size() && body[at] == '+') ++at;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(body.data() + at, body.data() + body.size(), value);
  if (error == std::errc::result_out_of_range) {
    return body[at] == '-' ? 0 : static_cast<std::uint64_t>(INT64_MAX);
  }
  if (error != std::errc() || value < 0) return 0;
  return static_cast<std::uint64_t>(value);
}

}  // namespace nb
