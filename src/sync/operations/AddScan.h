#pragma once
// The background add of a local folder's tree that a page adds to a
// library: the transfer engine's job, which walks the folder through the
// library manager's AddUploadSubFiles and then takes the folder off the
// manager's list of folders being added. The transfer layer registers how
// the job is started at start-up; tests register their own. Unregistered,
// a start logs an error and fails.

#include <cstdint>
#include <functional>
#include <string>

namespace nb {

// Queues the job for (library, folder web path, local folder) on the
// application's task queue and answers at once; false when it could not be
// queued.
using AddScanStarter =
    std::function<bool(int64_t mountid, const std::string& webpath, const std::string& fullpath)>;

// An empty starter restores the failing stand-in. Thread-safe.
void setAddScanStarter(AddScanStarter starter);

bool startAddScan(int64_t mountid, const std::string& webpath, const std::string& fullpath);

}  // namespace nb
