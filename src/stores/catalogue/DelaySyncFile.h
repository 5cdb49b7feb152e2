#pragma once
// The file kinds whose upload waits: one entry per extension with its delay,
// filled from the server setting "delay_sync_file".

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "api/models/SettingItem.h"

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

  // Sign-in and token refresh: the list becomes the entries of every
  // setting named "delay_sync_file" among `settings`, in their order. The
  // list is replaced as a whole, so a reader never sees it empty meanwhile.
  void replaceWithSettings(const std::vector<SettingItem>& settings);

  // Before a sync upload of `path` whose server copy last changed at `time`
  // (seconds since 1970): true when it may go now; false when it must wait,
  // with `time` raised to the moment it may. The first entry whose "." + ext
  // ends the path (letter case ignored) decides; none: true.
  bool checkFile(std::string_view path, uint64_t& time) const;

 private:
  static std::vector<DelaySyncItem> parse(std::string_view json);
};

}  // namespace nb
