#pragma once
// One batch of file events of a watched root, decoded into the local event
// handlers of every manager the root serves: single events by the existence
// of their path, the two halves of a rename or move paired by their ids.
//
// Each handler call holds that manager's lock for the call only. An
// exception ends the batch: the lock is released, the exception logged and
// a full rescan asked for, since the rest of the batch is lost.

#include <memory>
#include <string>
#include <vector>

#include "platform/HandlerItem.h"
#include "platform/Operation.h"

namespace nb {

class Directoryhandler;
class LocalEventTarget;

class DirectoryhandlerTask : public platform::Operation {
 public:
  // initWithTask:array: the task holds the handler until it is released.
  DirectoryhandlerTask(std::shared_ptr<Directoryhandler> handler,
                       std::vector<platform::HandlerItem> array);

  const std::vector<platform::HandlerItem>& _array() const { return array_; }

  // Decodes and applies the batch. Public so that tests can run a batch on
  // their own thread.
  void main() override;

 private:
  void decode();
  void decodeSingle(const platform::HandlerItem& item);
  // Pairs item i with its partners; answers whether one was found.
  bool pairPartners(size_t i);
  void applyPair(const platform::HandlerItem& from, const platform::HandlerItem& to);
  void applyByExistence(const std::string& path);
  // Whether item i's path is gone because a later item of the batch moved
  // it (or a folder above it) away.
  bool movedLater(size_t i) const;

  // Calls `call` on every served manager, each under its lock.
  template <typename Call>
  void apply(Call call);

  std::shared_ptr<Directoryhandler> handler_;
  std::vector<platform::HandlerItem> array_;
};

}  // namespace nb
