#pragma once
// Page functions that let the user pick local folders and files, name the
// user's folders, hand over files dropped on the page and prepare library
// items for a drag out of it: gSelectPathDlg, gGetComputerPath,
// gAddFileDlg, gGetDragFiles, gSetDragStart and gSetDragEnd.

namespace nb::bridge {

void registerPickerPageFunctions();

}  // namespace nb::bridge
