#pragma once
// Images of the application bundle: the user's override folder first, then
// the data installed with the program.

#include <string>
#include <string_view>

namespace nb::ui {

// The file of the bundle image `relativeBase` (a relative path without
// extension, such as "prompt" or "config/image/link"): its ".png" first,
// then its ".icns", in the override folder, then in the installed one. ""
// when none exists.
std::string bundleImagePath(std::string_view relativeBase);

}  // namespace nb::ui
