#pragma once
// What the self-update tells the pages: the update window's own events and
// the "gCheckUpdate" state that every page may ask for.
//
// Threads: any; off the main thread the caller waits until the pages ran
// the event.

#include <string_view>

namespace nb::update {

// "gExeUpdateInfo", "gExeUpdateProgress", "gExeUpdateFinish" with the JSON
// text as detail, to the update window only.
void sendToUpdateWindow(std::string_view name, std::string_view json);
// "gCheckUpdate" {"status": status} to every page that takes it.
void broadcastCheckUpdate(std::string_view status);
// Whether the deployment asks the user before an archive is downloaded.
bool askFirst();

}  // namespace nb::update
