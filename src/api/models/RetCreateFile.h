#pragma once
// Answer of creating a folder or a file entry (/2/file/create_folder and
// /2/file/create_file): whether the server already holds the content, and
// otherwise the storage servers to upload it to.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "api/models/RequestRet.h"

namespace nb {

class RetCreateFile : public RequestRet {
 public:
  // The server already holds the content: the entry is complete.
  static constexpr std::int64_t kStateComplete = 1;

  // The storage-server URLs are formed with the application's HTTPS choice
  // as it is while this runs, read afresh for each server.
  void setValueWithJson(const JsonValue& json) override;

  std::int64_t nState = 0;          // kStateComplete, or upload needed; 32 bits
  std::string strHash;              // the new entry's server identifier
  std::string strFileHash;
  std::string strStoragePoint;      // "" when absent; sent back at upload_init
  std::uint64_t ullFileSize = 0;
  std::uint64_t ullLastDateline = 0;
  // Base URLs with scheme of the storage servers ("uploads", "cache_uploads");
  // nothing before a successful answer, empty when the key holds no array.
  // A server without a usable address is left out.
  std::optional<std::vector<std::string>> arrayServers;
  std::optional<std::vector<std::string>> arrayCacheServers;
};

}  // namespace nb
