#pragma once
// Local files and folders added to a library from a page: their names in
// the library, their copy into a linked folder (with a progress window that
// can stop it), and their hand-over to the library's sync manager.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bridge/dispatch/PageCall.h"
#include "shell/copy/CopyItem.h"
#include "stores/transfer/MoveItem.h"

namespace nb {
class SyncManager;
}

namespace nb::bridge {

// The body of gAdd (queued): its answer text.
std::string gAdd(const PageCall& call);

// The copy list of the items whose targets lie in a linked folder of the
// library: every folder before its contents, symbolic links left out.
std::vector<CopyItem> files_add(SyncManager& manager, const std::vector<MoveItem>& paths,
                                const std::string& parent);

// Copies the list in order, each file aside first and then into place, so a
// failed copy leaves the file that was there; once the job is cancelled the
// rest is skipped. Marks the job done at the end and answers the web paths
// whose copy failed.
std::vector<std::string> files_copy(CopyJob& job);

// Test-only: runs before each item of files_copy is copied (null: nothing).
void setCopyItemObserver(std::function<void(const CopyItem& item, CopyJob& job)> observer);

}  // namespace nb::bridge
