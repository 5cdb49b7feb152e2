#pragma once
// The records of a sync manager's short-lived lists: what the engine has
// just done itself, so that the echo of its own work is not taken for a new
// change, and the folders being added from outside. The operations on
// these lists belong to the manager.

#include <cstdint>
#include <string>

#include "stores/common/NodeBase.h"

namespace nb {

// A local file the engine has just written (key: its web path).
struct copy_file_stx {
  uint64_t filesize = 0;
  uint64_t lasttime = 0;  // modification time after writing, seconds since 1970
  uint64_t addtime = 0;   // when the entry was made, seconds since 1970
};

// The two halves of a rename or move whose server call is still pending:
// absolute local paths.
struct movefile_stx {
  std::string oldpath;
  std::string newpath;
};

// A library folder being added from outside.
struct add_or_del_stx {
  std::string webpath;
  int64_t status = 0;   // 0 adding, 1 stop asked for
  double fttime = 0.0;  // monotonic seconds when the stop was first asked for
};

// A web path the engine has just renamed on the server.
struct LastFileEventItem {
  std::string strWebPath;  // as added; a folder may carry a trailing "/"
  uint64_t ullLastTime = 0;  // when added or refreshed, seconds since 1970
};

class LastFileEvent : public NodeBase<LastFileEventItem> {};

}  // namespace nb
