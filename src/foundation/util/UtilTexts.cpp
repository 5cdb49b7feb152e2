#include "foundation/util/UtilTexts.h"

#include <cstdio>

namespace nb::Util {

std::string GetSpeedString(uint64_t bytesPerSecond) {
  // Single precision on purpose: the texts users know were made that way.
  const auto value = static_cast<float>(bytesPerSecond);
  char text[64];
  if (value <= 1048576.0F) {
    std::snprintf(text, sizeof text, "%.2f K/S", static_cast<double>(value / 1024.0F));
  } else {
    std::snprintf(text, sizeof text, "%.2f M/S", static_cast<double>(value / 1048576.0F));
  }
  return text;
}

bool filesizeoverlimit(uint64_t size) { return size > kFileSizeLimit; }

}  // namespace nb::Util
