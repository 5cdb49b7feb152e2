#pragma once
// Inflating gzip (or zlib) bodies with zlib.

#include <optional>
#include <string>
#include <string_view>

namespace nb::http {

class ASIDataDecompressor {
 public:
  // The whole inflated body; nothing when the bytes are not a valid stream.
  static std::optional<std::string> uncompressData(std::string_view bytes);
};

}  // namespace nb::http
