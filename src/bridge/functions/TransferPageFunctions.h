#pragma once
// The page functions of the transfer window: the lists of uploads and
// downloads, their counts, start, stop and delete, the progress of one file
// and the registration of the page as the sink of live progress.

namespace nb::bridge {

void registerTransferPageFunctions();

}  // namespace nb::bridge
