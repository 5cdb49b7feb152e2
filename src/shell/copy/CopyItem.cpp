#include "shell/copy/CopyItem.h"

#include "foundation/util/UtilFiles.h"

namespace nb {

bool CopyItem::isfinished() const {
  if (bDir) return Util::isdir(newpath);
  return cpysize == sumsize;
}

}  // namespace nb
