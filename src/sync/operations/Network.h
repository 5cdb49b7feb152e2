#pragma once
// What the sync engine asks of the transfer engine. The transfer layer
// implements Network and registers it at start-up with setNetwork(); tests
// register a recording fake. Until one is registered every call logs an
// error and does nothing, so a missing registration shows in the log.
//
// Every member of an implementation must be safe from any thread and must
// not call back into a sync manager's controllock holder.

#include <cstdint>
#include <memory>
#include <string>

#include "api/models/TransTaskItem.h"
#include "api/models/TransportItem.h"

namespace nb {

// Which of the transfer engine's two managers a call concerns.
enum class TransDirection { Both, Download, Upload };

class Network {
 public:
  virtual ~Network() = default;

  // The registered transfer engine, or the logging stand-in: never null.
  static std::shared_ptr<Network> shareNetwork();
  // Registers the process-wide engine; null restores the stand-in.
  static void setNetwork(std::shared_ptr<Network> network);

  // Stops, deletes and drops the running tasks of the library at `webpath`
  // and below it (every task of the library for ""), in one direction or
  // both.
  virtual void ClearTrans(const std::string& webpath, int64_t mountid,
                          TransDirection which = TransDirection::Both) = 0;
  // Rewrites the web path of running tasks under the old prefix, letter
  // case ignored, in both directions.
  virtual void RenameWebpath(int64_t mountid, const std::string& oldwebpath,
                             const std::string& newwebpath) = 0;
  // Every record of the direction set to stopped, every running task stopped.
  virtual void StopDownloadAll() = 0;
  virtual void StopUploadAll() = 0;
  // The bulk-add counter: no transfer is dispatched while it is above 0.
  virtual void AddTransAction() = 0;
  virtual void DelTransAction() = 0;
  // Pushes {"action":action} to the page following that transfer list;
  // "reget" makes the page reload it. `which` is Download or Upload.
  virtual void SendCallbackAction(TransDirection which, const std::string& action) = 0;
  // Pushes the state of one transfer to the page following its list.
  virtual void SendCallbackInfoByTransTask(TransDirection which, const TransTaskItem& task) = 0;
  virtual void SendCallbackInfoByTransport(TransDirection which, const TransportItem& item) = 0;
};

}  // namespace nb
