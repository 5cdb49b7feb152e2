#pragma once
// Saves files shared in a chat dialog into local folders: FileSaveAs
// without the open call (size and content hash come with each item),
// without the library's sync manager, and with the message and dialog ids
// on every list call. A folder whose listing fails tells the user the
// server's message, whatever the notice setting.
//
// An operation for the application's task queue; runs once.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Operation.h"
#include "transfer/jobs/SaveItem.h"

namespace nb::transfer {

class FileSaveAsByDialog final : public platform::Operation {
 public:
  FileSaveAsByDialog(std::vector<SaveItem> saveItems, std::string messageid, std::string dialogid)
      : _saveItems(std::move(saveItems)),
        _messageID(std::move(messageid)),
        _dialogID(std::move(dialogid)) {}

  // The whole job on the caller's thread (the queue calls it on its own).
  void main() override;

  static void GetFileList(const std::string& webpath, std::int64_t mountid,
                          const std::string& messageid, const std::string& dialogid,
                          const std::string& savepath);

 private:
  const std::vector<SaveItem> _saveItems;
  const std::string _messageID;
  const std::string _dialogID;
};

}  // namespace nb::transfer
