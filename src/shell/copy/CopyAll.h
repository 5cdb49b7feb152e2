#pragma once
// The totals of one monitored copy and its percentage.

#include <cstdint>
#include <vector>

#include "shell/copy/CopyItem.h"

namespace nb {

struct CopyAll {
  // Files and folders apart, in list order; every count and size summed.
  explicit CopyAll(const std::vector<CopyItem>& items);

  std::vector<CopyItem> files;    // files not yet finished
  std::vector<CopyItem> folders;  // folders not yet finished
  std::uint64_t cpysize = 0;      // bytes of the finished files
  std::uint64_t sumsize = 0;      // bytes of all items
  std::uint64_t cpycount = 0;     // finished items
  std::uint64_t sumcount = 0;     // all items

  bool isfinished() const { return cpysize == sumsize && cpycount == sumcount; }
  // 100 when finished; else 0 for nothing to copy; else copied x 100 / sumsize,
  // rounded down.
  std::uint64_t progress(std::uint64_t copied) const;
};

}  // namespace nb
