#pragma once
// Zip archives (libzip). Both calls run on the caller's thread.

#include <string>

namespace nb::Util {

// Unpacks `archive` into the folder `dst` (made when missing). Files of the
// same name are replaced whole (each written aside, then renamed over the
// old one); other files in the folder stay. Folders, modes (without set-id
// bits) and modification times come from the archive.
//
// The archive is refused as a whole, before anything is written, when an
// entry name is absolute or has a ".." part, or a symbolic link entry points
// outside `dst`. An entry that would be written through a symbolic link
// already in `dst` fails the unpack. Answers whether every entry was written.
bool unzip(const std::string& archive, const std::string& dst);

// Packs the contents of `folder` (not the folder itself) into `archive`,
// replacing it, with the default compression and no password; symbolic links
// are stored as links. No when the folder does not exist or writing fails.
bool zip(const std::string& folder, const std::string& archive);

}  // namespace nb::Util
