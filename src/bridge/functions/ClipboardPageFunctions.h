#pragma once
// The page functions of the clipboard and of screenshots: copy text or
// HTML, paste files or a picture, take a screenshot, show a screenshot file
// (fetched first when it is missing). Pictures are kept in the user's
// screenshot folder under the SHA-1 of their content, so equal pictures
// share one file.

#include <functional>
#include <string>

#include "transfer/jobs/DownloadImageForUrlTask.h"

namespace nb::ui {
class Clipboard;
class ScreenCapture;
}  // namespace nb::ui

namespace nb::bridge {

void registerClipboardPageFunctions();

// The paste: the clipboard's files as {"list":[{"path"}...]}; else its
// picture kept in `folder` as {"list":[{"path","filehash"}],"type":
// "screenshot"}; else "{}". `done` runs later on the main thread. Main
// thread.
void pasteFromClipboard(ui::Clipboard& clipboard, const std::string& folder,
                        std::function<void(std::string answer)> done);

// An interactive capture kept in `folder` and put on the clipboard:
// {"path","filehash"}, or "{}" when cancelled or failed (the clipboard is
// then left alone). Blocks the caller until the capture ended, which runs
// on the main thread: never call it there.
std::string takeScreenshot(ui::Clipboard& clipboard, ui::ScreenCapture& capture,
                           const std::string& folder);

// {"path"} of the screenshot named by the page's "filehash" and "ext" in
// `folder`, opened with `opener`; when it is missing, a fetch of "url" is
// queued on the task queue and the answer is "{}", as it is for a hash or
// extension that names no screenshot.
std::string showScreenshot(const std::string& json, const std::string& folder,
                           const transfer::DownloadImageForUrlTask::Opener& opener);

}  // namespace nb::bridge
