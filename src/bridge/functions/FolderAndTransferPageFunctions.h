#pragma once
// The page functions of the file browser and the transfer window, as one
// registration: linked folders, file lists and information, transfers and
// their live progress.

namespace nb::bridge {

void registerFolderAndTransferPageFunctions();

}  // namespace nb::bridge
