#pragma once
// Enterprise file templates: the catalogue refresh hands over the user's
// enterprises, their template records are stored, and every template file
// not yet on disk is fetched into the user's template folder, named by its
// content hash, one background operation per file.

#include <cstdint>
#include <string>

#include "platform/Operation.h"

namespace nb::transfer {

// Stores the templates of the enterprises named by `entIds` ("12,40,0") and
// queues the fetch of each missing file on the shell's task queue. With no
// template in the answer, or a failed request, the stored ones stay.
void getentstemplate(const std::string& entIds);

// Lets the sync centre reach getentstemplate(); unregister before the
// process goes down.
void registerEnterpriseTemplates();
void unregisterEnterpriseTemplates();

// A content hash that may name a file: 40 lower-case hex characters.
bool isTemplateFileHash(const std::string& hash);

class DownloadTemplateTask final : public platform::Operation {
 public:
  DownloadTemplateTask(std::string strFilehash, int64_t nEntID)
      : strFilehash_(std::move(strFilehash)), nEntID_(nEntID) {}

  // The fetch, on the caller's thread: answers whether the file is in place
  // afterwards. A body whose SHA-1 is not the hash stays as "<hash>.tmp"; a
  // hash that cannot name a file writes nothing; while another task of this
  // process fetches the same hash this one stops.
  bool download() const;

 protected:
  void main() override { download(); }

 private:
  const std::string strFilehash_;
  const int64_t nEntID_;
};

}  // namespace nb::transfer
