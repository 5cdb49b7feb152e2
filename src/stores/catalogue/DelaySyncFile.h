#pragma once
// The file kinds whose upload waits: one entry per extension with its delay,
// filled from the server setting "delay_sync_file".

#include <cstdint>
#include <string>
#include <string_view>

#include "stores/common/NodeBase.h"

namespace nb {

struct DelaySyncItem {
  std::string ext;      // file extension, as the server wrote it
  int64_t delay = 0;    // seconds
};

class DelaySyncFile : public NodeBase<DelaySyncItem> {
 public:
  using NodeBase::addNode;
  // Appends one entry per member of a JSON object that maps extensions to
  // delays in seconds (numbers or numeric texts, read as 64-bit); text that
  // is not a JSON object adds nothing.
  void addNode(std::string_view json);
};

}  // namespace nb
