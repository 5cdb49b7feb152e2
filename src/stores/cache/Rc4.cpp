#include "stores/cache/Rc4.h"

#include <utility>

namespace nb {

Rc4::Rc4(std::string_view key) {
  for (std::size_t n = 0; n < s_.size(); ++n) s_[n] = static_cast<std::uint32_t>(n);
  const std::size_t length = key.size() < s_.size() ? key.size() : s_.size();
  if (length == 0) return;
  std::uint32_t j = 0;
  for (std::size_t n = 0; n < s_.size(); ++n) {
    j = (j + s_[n] + static_cast<std::uint8_t>(key[n % length])) & 0xFF;
    std::swap(s_[n], s_[j]);
  }
}

void Rc4::process(std::uint8_t* data, std::size_t size) {
  // Local copies let the compiler keep the indexes in registers.
  std::uint32_t i = i_;
  std::uint32_t j = j_;
  for (std::size_t n = 0; n < size; ++n) {
    i = (i + 1) & 0xFF;
    const std::uint32_t si = s_[i];
    j = (j + si) & 0xFF;
    const std::uint32_t sj = s_[j];
    s_[i] = sj;
    s_[j] = si;
    data[n] ^= static_cast<std::uint8_t>(s_[(si + sj) & 0xFF]);
  }
  i_ = i;
  j_ = j;
}

}  // namespace nb
