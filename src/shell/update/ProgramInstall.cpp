#include "shell/update/ProgramInstall.h"

#include <stdlib.h>

#include <system_error>
#include <vector>

#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilZip.h"
#include "platform/Log.h"

namespace nb::update {

namespace fs = std::filesystem;

namespace {

// A fresh, private folder in `parent`; empty when none can be made there
// (a read-only install location).
fs::path makeFolderBeside(const fs::path& parent) {
  std::string name = (parent / ".nubren-update-XXXXXX").string();
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) return {};
  return fs::path(buffer.data());
}

void removeTree(const fs::path& folder) {
  std::error_code ec;
  fs::remove_all(folder, ec);
  if (ec) NBLOG_WARN("cannot remove {}: {}", folder.string(), ec.message());
}

bool isUpdatableTree(const fs::path& programFolder) {
  std::error_code ec;
  if (!programFolder.is_absolute() || programFolder.filename() != kProgramFolderName ||
      !fs::is_directory(fs::symlink_status(programFolder, ec))) {
    NBLOG_ERROR("{} is no self-contained install; the package manager updates it",
                programFolder.string());
    return false;
  }
  return true;
}

// Puts `fresh` in the place of `programFolder`, keeping the previous tree
// in `aside` until the swap is done; puts it back when the swap fails.
bool swapInto(const fs::path& fresh, const fs::path& programFolder, const fs::path& aside) {
  std::error_code ec;
  fs::rename(programFolder, aside, ec);
  if (ec) {
    NBLOG_ERROR("cannot move the installed program aside: {}", ec.message());
    return false;
  }
  fs::rename(fresh, programFolder, ec);
  if (!ec) return true;
  NBLOG_ERROR("cannot put the new program in place: {}", ec.message());
  std::error_code back;
  fs::rename(aside, programFolder, back);
  if (back) NBLOG_ERROR("the previous program stays at {}", aside.string());
  return false;
}

}  // namespace

bool installProgramArchive(const std::string& archive, const fs::path& programFolder) {
  if (!isUpdatableTree(programFolder)) return false;
  const fs::path work = makeFolderBeside(programFolder.parent_path());
  if (work.empty()) {
    NBLOG_ERROR("cannot write beside {}: the install is read-only", programFolder.string());
    return false;
  }
  const fs::path unpacked = work / "unpacked";
  bool ok = Util::unzip(archive, unpacked.string());
  const fs::path fresh = unpacked / kProgramFolderName;
  std::error_code ec;
  if (ok && !fs::is_directory(fs::symlink_status(fresh, ec))) {
    NBLOG_ERROR("the program archive holds no {} folder", kProgramFolderName);
    ok = false;
  }
  ok = ok && swapInto(fresh, programFolder, work / "previous");
  removeTree(work);
  return ok;
}

void reapplyBranding(const fs::path& brandingFolder, const fs::path& programFolder) {
  struct Copy {
    const char* from;
    const char* to;
  };
  static constexpr Copy kCopies[] = {
      {"image/nubrenapp.png", "share/nubren/nubrenapp.png"},
  };
  for (const Copy& copy : kCopies) {
    const fs::path from = brandingFolder / copy.from;
    if (!Util::isfile(from.string())) continue;
    const fs::path to = programFolder / copy.to;
    Util::createfolder(to.parent_path().string());
    if (!Util::copyfileneedtemp(from.string(), to.string())) {
      NBLOG_WARN("cannot copy the branding {} into the program", copy.from);
    }
  }
}

}  // namespace nb::update
