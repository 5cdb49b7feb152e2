#pragma once
// Answer of the storage-server list call: a bare JSON array of servers.

#include <optional>
#include <string>
#include <vector>

#include "api/models/RequestRet.h"
#include "api/models/ServerUrlItem.h"

namespace nb {

class RetGetServer : public RequestRet {
 public:
  // Replaces the common reading: an array body gives one record per element;
  // anything else changes nothing. Never sets an error status, logs nothing
  // and leaves the network state alone.
  void setValueWithData(const std::string& data) override;

  std::optional<std::vector<ServerUrlItem>> itemlist;
};

}  // namespace nb
