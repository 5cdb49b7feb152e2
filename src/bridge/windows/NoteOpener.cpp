// Opening a note: its package is unpacked beside the others in the writable
// data copy (never into the installed program) and the asking window is
// told where its page is.

#include <glib.h>

#include <filesystem>
#include <random>

#include "api/server/ServerInfo.h"
#include "bridge/windows/NoteWorkFolders.h"
#include "bridge/windows/WindowRegistry.h"
#include "foundation/json/JsonValue.h"
#include "foundation/util/UtilZip.h"
#include "platform/GObjectPtr.h"
#include "platform/Log.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/LaunchpadWindowController.h"

namespace nb::bridge {

namespace fs = std::filesystem;

namespace {

// Unpacks into a fresh folder beside `folder`, then puts it in place, so a
// half-written package never shows as the note.
bool unpackInto(const std::string& archive, const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder.parent_path(), error);
  const std::string suffix = ".part" + std::to_string(std::random_device{}());
  const fs::path temp = folder.parent_path() / (folder.filename().string() + suffix);
  if (!Util::unzip(archive, temp.string()) || !fs::is_regular_file(temp / "index.html")) {
    fs::remove_all(temp, error);
    return false;
  }
  fs::remove_all(folder, error);
  fs::rename(temp, folder, error);
  if (error) {
    NBLOG_ERROR("note folder {} could not be put in place: {}", folder.string(), error.message());
    fs::remove_all(temp, error);
    return false;
  }
  return true;
}

}  // namespace

bool WindowRegistry::openNote(const std::string& fullpath, std::int64_t mountId,
                              const std::string& webpath, std::int64_t hwnd,
                              const std::string& noteRoot) {
  const fs::path root = noteRoot.empty()
                            ? ServerInfo::current()->folders().overrideDir / "nbnote"
                            : fs::path(noteRoot);
  const std::string key = NoteWorkFolders::keyOf(mountId, webpath);
  const fs::path folder = root / key;
  if (!unpackInto(fullpath, folder)) {
    NBLOG_WARN("note package {} holds no page", fullpath);
    return false;
  }
  NoteWorkFolders::shared().opened(key, folder.string(), fullpath);
  const std::string index = (folder / "index.html").string();
  platform::GCharPtr uri(g_filename_to_uri(index.c_str(), nullptr, nullptr));
  if (!uri) return false;
  const auto event = PageEvent::make(
      "OpenFileFinish", JsonValue::object({{"mount_id", mountId},
                                           {"webpath", webpath},
                                           {"fullpath", fullpath},
                                           {"url", std::string(uri.get())}}));
  if (!event) return false;
  const Snapshot s = snapshot();
  if (s.main && s.main->hwnd() == hwnd) s.main->setCustomEvent(*event);
  for (const auto& browser : s.browsers) {
    if (browser->hwnd() == hwnd) browser->setCustomEvent(*event);
  }
  return true;
}

}  // namespace nb::bridge
