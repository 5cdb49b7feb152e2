#pragma once
// What the download manager asks of a running download beyond the common
// task: the LAN service's hooks. Sources announced by other clients are
// handed to the download of their content; the LAN server and responder
// read what a running download already holds.

#include <cstdint>
#include <string>

#include "transfer/engine/TransferTask.h"

namespace nb {

class DownloadTransferTask : public TransferTask {
 public:
  using TransferTask::TransferTask;

  // A client at `address` has the whole content.
  virtual void AddUdpPeer(const std::string& address) = 0;
  // A client at `address` holds the byte ranges `have` ("a-b,c-d") of the
  // content and may already serve it over HTTP.
  virtual void AddUdpPeer(const std::string& address, bool bHttpStart, bool bHttpAble,
                          std::int64_t userid, const std::string& have) = 0;

  virtual bool bHttpAble() const = 0;
  virtual bool bHttpStart() const = 0;
  // The byte ranges already written, in the "a-b,c-d" form.
  virtual std::string haveRanges() const = 0;
};

}  // namespace nb
