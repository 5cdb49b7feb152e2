#pragma once
// The file kinds whose upload waits: one entry per extension with its delay,
// filled from the server setting "delay_sync_file".

#include <cstdint>
#include <string>

#include "stores/NodeBase.h"

namespace nb {

struct DelaySyncItem {
  std::string ext;      // file extension, as the server wrote it
  int64_t delay = 0;    // seconds
};

class DelaySyncFile : public NodeBase<DelaySyncItem> {
 public:
  using NodeBase::addNode;
};

}  // namespace nb
