#pragma once
// Lower-case hex text of a byte buffer, two digits a byte. Internal to the
// digest helpers.

#include <string>
#include <string_view>

namespace nb {

inline std::string hexText(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
  }
  return out;
}

}  // namespace nb
