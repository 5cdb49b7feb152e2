#include "stores/Rc4.h"

#include <utility>

namespace nb {

Rc4::Rc4(std::string_view key) {
  for (std::size_t n = 0; n < s_.size(); ++n) s_[n] = static_cast<std::uint8_t>(n);
  const std::size_t length = key.size() < s_.size() ? key.size() : s_.size();
  if (length == 0) return;
  std::uint8_t j = 0;
  for (std::size_t n = 0; n < s_.size(); ++n) {
    j = static_cast<std::uint8_t>(j + s_[n] + static_cast<std::uint8_t>(key[n % length]));
    std::swap(s_[n], s_[j]);
  }
}

void Rc4::process(std::uint8_t* data, std::size_t size) {
  // Local copies let the compiler keep the indexes in registers.
  std::uint8_t i = i_;
  std::uint8_t j = j_;
  for (std::size_t n = 0; n < size; ++n) {
    i = static_cast<std::uint8_t>(i + 1);
    j = static_cast<std::uint8_t>(j + s_[i]);
    std::swap(s_[i], s_[j]);
    data[n] ^= s_[static_cast<std::uint8_t>(s_[i] + s_[j])];
  }
  i_ = i;
  j_ = j;
}

}  // namespace nb
