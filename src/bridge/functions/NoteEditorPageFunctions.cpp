#include "bridge/functions/NoteEditorPageFunctions.h"

#include <fstream>
#include <optional>
#include <string>

#include "api/server/ServerInfo.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/PageArgs.h"
#include "bridge/functions/ShellApp.h"
#include "bridge/windows/NoteWorkFolders.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilStatus.h"
#include "foundation/util/UtilZip.h"
#include "platform/Log.h"
#include "shell/app/AppDelegate.h"

namespace nb::bridge {

namespace {

using Answer = std::optional<std::string>;

constexpr std::int64_t kNoteNotSaved = 1;

std::string keyOf(const JsonValue& args) {
  // The full 64-bit id, as openNote named the folder.
  return NoteWorkFolders::keyOf(jsonInt64(args, "mount_id"), jsonTextOrEmpty(args, "webpath"));
}

// Where openNote unpacks a note: the working copy, never the installed data.
std::string folderOf(const std::string& key) {
  return (ServerInfo::current()->folders().overrideDir / "nbnote" / key).string();
}

void setNeedSave(bool needed, const char* fn) {
  if (auto app = shellApp(fn)) app->setBNBNoteNeedSave(needed);
}

bool writePackage(const std::string& folder, const std::string& fullpath,
                  const std::string& pagePath, const std::string& content) {
  if (pagePath != fullpath) {
    NBLOG_WARN("note save refused: {} is not the file the note came from", pagePath);
    return false;
  }
  const std::string index = folder + "/index.html";
  if (Util::isfile(index)) {
    std::ofstream out(index, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) {
      NBLOG_ERROR("the note page {} could not be written", index);
      return false;
    }
  }
  return Util::zip(folder, fullpath);
}

Answer gEditorSave(const PageCall& call, WebWindowController&) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return "{}";
  NBLOG_DEBUG("{}", call.json());
  const std::string pagePath = jsonTextOrEmpty(*args, "fullpath");
  const std::string content = jsonTextOrEmpty(*args, "content");
  const std::optional<bool> saved = NoteWorkFolders::shared().runSave(
      keyOf(*args), [&](const std::string& folder, const std::string& fullpath) {
        return writePackage(folder, fullpath, pagePath, content);
      });
  if (!saved || !*saved) return Util::errorInfoWithCode(kNoteNotSaved);
  setNeedSave(false, "gEditorSave");
  return Util::errorInfoWithCode(Util::kStatusOk);
}

Answer gEditorChange(const PageCall& call, WebWindowController&) {
  NBLOG_DEBUG("{}", call.json());
  if (const std::optional<JsonValue> args = pageObject(call)) {
    setNeedSave(jsonInt64(*args, "status") >= 1, "gEditorChange");
  }
  return std::nullopt;
}

Answer gEditorExit(const PageCall& call, WebWindowController&) {
  NBLOG_DEBUG("{}", call.json());
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return std::nullopt;
  const std::string key = keyOf(*args);
  NoteWorkFolders::shared().close(key, folderOf(key));
  setNeedSave(false, "gEditorExit");
  return std::nullopt;
}

}  // namespace

void noteSaveQueued(const PageCall& call) {
  if (const std::optional<JsonValue> args = pageObject(call)) {
    NoteWorkFolders::shared().saveQueued(keyOf(*args));
  }
}

void registerNoteEditorPageFunctions() {
  setPageHandler("gEditorSave", gEditorSave);
  setPageHandler("gEditorChange", gEditorChange);
  setPageHandler("gEditorExit", gEditorExit);
}

}  // namespace nb::bridge
