#pragma once
// One cloud file or folder to be saved into a local folder, as the save
// page functions and the drag-out resolve it: the destination is final
// (name clashes were settled by the caller).

#include <cstdint>
#include <string>

namespace nb::transfer {

struct SaveItem {
  std::int64_t _mountid = 0;  // library id
  std::string _webpath;       // path in the library
  bool _dir = false;
  std::string _hid;           // version id for the open call; "" the current version
  std::string _fullpath;      // local destination path
  // Only the chat-dialog save takes these from the page; library saves ask
  // the server.
  std::string strFileHash;
  std::string strUuidHash;
  std::uint64_t ullFileSize = 0;
  bool bKeepBoth = false;  // the caller's keep-both choice
};

}  // namespace nb::transfer
