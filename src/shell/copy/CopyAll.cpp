#include "shell/copy/CopyAll.h"

namespace nb {

CopyAll::CopyAll(const std::vector<CopyItem>& items) {
  for (const CopyItem& item : items) {
    (item.bDir ? folders : files).push_back(item);
    ++sumcount;
    sumsize += item.sumsize;
  }
}

std::uint64_t CopyAll::progress(std::uint64_t copied) const {
  if (isfinished()) return 100;
  if (sumsize == 0) return 0;
  return copied * 100 / sumsize;
}

}  // namespace nb
