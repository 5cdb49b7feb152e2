#pragma once
// Page functions that save library items, or a chat message's files, into a
// local folder the user chose: gGetLocalPathBySave, gSaveToLocal and
// gSaveToLocalByDialog.

#include <string>

#include "transfer/jobs/SaveItem.h"

namespace nb::bridge {

void registerSaveToLocalPageFunctions();

// The first free "<web name>(n)" target beside `fullpath`, n from 2: the
// number goes before the web name's extension. The web name decides, not
// the local one.
std::string keepBothTarget(const std::string& fullpath, const std::string& webName);

// Gives the item its keep-both target when it asked for one, names a
// library item (id above 0, a web path) and something is at its target.
void applyKeepBoth(transfer::SaveItem& item);

}  // namespace nb::bridge
