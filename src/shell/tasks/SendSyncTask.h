#pragma once
// The diagnostic bundle for support: consistent copies of the transfer
// store, the catalogue store and every library's sync store, zipped into
// "synczip.zip" in a folder the user chose. Runs on the application's task
// queue; the user is told nothing either way.

#include <string>

#include "platform/Operation.h"

namespace nb {

class SendSyncTask final : public platform::Operation {
 public:
  // `strPath`: the chosen folder.
  explicit SendSyncTask(std::string strPath) : strPath_(std::move(strPath)) {}
  const std::string& strPath() const { return strPath_; }
  void main() override;

 private:
  const std::string strPath_;
};

}  // namespace nb
