#pragma once
// Installing a downloaded program archive over a self-contained install
// tree (<folder>/bin/nubren, <folder>/share/nubren, ...). The archive
// carries that folder itself, under the same name. It is unpacked beside
// the folder first, with the safe extractor, and only a complete unpack is
// swapped into place, so a failure leaves the installed program untouched.
//
// A distribution package installs into system folders owned by the package
// manager, which also updates it: such a tree is never replaced here.
//
// Threads: any; blocks for the unpack.

#include <filesystem>
#include <string>

namespace nb::update {

// The name an updatable install tree has (and the top folder of the
// archive).
inline constexpr const char* kProgramFolderName = "nubren";

// Unpacks `archive` into a new folder beside `programFolder`, then puts its
// top folder in the place of `programFolder`; the previous tree is removed
// afterwards. False, with the tree untouched, when the tree is not a
// self-contained install named kProgramFolderName, when its parent folder
// cannot be written, when the archive does not unpack (absolute, ".." or
// escaping link entries included) or lacks the top folder.
bool installProgramArchive(const std::string& archive, const std::filesystem::path& programFolder);

// Copies the customisation package's branding over the install tree, each
// file only when its source exists: the icon
// "<branding>/image/nubrenapp.png" to "<program>/share/nubren/nubrenapp.png".
void reapplyBranding(const std::filesystem::path& brandingFolder,
                     const std::filesystem::path& programFolder);

}  // namespace nb::update
