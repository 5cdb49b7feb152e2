#pragma once
// Addresses and agent texts of the client's own web windows.

#include <string>
#include <string_view>

namespace nb {

// The address of the UI folder's "index.html" followed by `fragment` (such
// as "#/login"), as a file:// URI with the folder's path escaped. "" (and
// an error in the log) when the folder is not an absolute path.
std::string uiPageUrl(const std::string& uiFolder, std::string_view fragment = {});

// The web views' user agent: the client's own followed by the browser
// identification pages expect.
std::string webUserAgent(const std::string& clientAgent);

}  // namespace nb

#include "shell/ui/WebWindow.h"

namespace nb {

// The settings of a new web window of `kind`: the web user agent, and
// developer extras when the server configuration's debug switch or the
// user's "developer" default is on.
ui::WebWindowOptions webWindowOptions(ui::WindowKind kind);

// The UI folder of the server configuration.
std::string uiFolder();

}  // namespace nb
