#pragma once
// The login item follows the autorun setting: the desktop's autostart entry
// is added when the setting is on and it is missing, removed when the
// setting is off and it is there, and left alone otherwise.
//
// Threads: any; touches only the user's autostart folder.

namespace nb {

void syncLoginItemWithAutorun(bool autorun);

}  // namespace nb
