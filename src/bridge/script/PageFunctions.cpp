#include "bridge/script/PageFunctions.h"

#include <algorithm>
#include <array>

namespace nb::bridge {

namespace {

constexpr std::array kFunctions = std::to_array<PageFunction>({
    {"gGetUrl", Shape::JsonCallback, Thread::Main},
    {"gUserInfo", Shape::JsonCallback, Thread::Main},
    {"gSiteDomain", Shape::JsonCallback, Thread::Main},
    {"gApiHost", Shape::JsonCallback, Thread::Main},
    {"gGetToken", Shape::JsonCallback, Thread::Main},
    {"gGetTokenInfo", Shape::JsonCallback, Thread::Main},
    {"gGetApiAuthorization", Shape::JsonCallback, Thread::Main},
    {"gClearCache", Shape::None, Thread::Main},
    {"gLogoff", Shape::Json, Thread::Main},
    {"gComputerInfo", Shape::JsonCallback, Thread::Main},
    {"gSetDevice", Shape::JsonCallback, Thread::Main},
    {"gStartLaunchpad", Shape::None, Thread::Main},
    {"gGetNetworkStatus", Shape::JsonCallback, Thread::Main},
    {"gGetEnt", Shape::JsonCallback, Thread::Main},
    {"gGetEnts", Shape::JsonCallback, Thread::Main},
    {"gGetNeedloading", Shape::JsonCallback, Thread::Main},
    {"gConfigInfo", Shape::JsonCallback, Thread::Main},
    {"gRefreshToken", Shape::JsonCallback, Thread::Main},
    {"gLogin", Shape::JsonCallback, Thread::Queue},
    {"gLoginByKey", Shape::JsonCallback, Thread::Queue, true},
    {"gSetUserInfo", Shape::Json, Thread::Queue},
    {"gGetClientInfo", Shape::JsonCallback, Thread::Main},
    {"gSetClientInfo", Shape::Json, Thread::Main},
    {"gGetLanguage", Shape::JsonCallback, Thread::Main},
    {"gChangeLanguage", Shape::Json, Thread::Main},
    {"gSetIgnore", Shape::Json, Thread::Main},
    {"gGetIgnore", Shape::JsonCallback, Thread::Main},
    {"gSetPreventConflicts", Shape::Json, Thread::Main},
    {"gGetPreventConflicts", Shape::JsonCallback, Thread::Main},
    {"gSetLocalCache", Shape::Json, Thread::Main},
    {"gGetLocalCache", Shape::JsonCallback, Thread::Main},
    {"gDeleteLocalCache", Shape::Json, Thread::Main},
    {"gGetShortcutHotkey", Shape::JsonCallback, Thread::Main},
    {"gSetShortcutHotkey", Shape::JsonCallback, Thread::Main},
    {"gCheckShortcutHotkey", Shape::JsonCallback, Thread::Main},
    {"gGetUIPath", Shape::JsonCallback, Thread::Main, true},
    {"gGetClientPath", Shape::JsonCallback, Thread::Main},
    {"gMain", Shape::JsonCallback, Thread::Main},
    {"gVideoPlayer", Shape::Json, Thread::Main},
    {"gLaunchpad", Shape::Json, Thread::Main},
    {"gNetworkAgent", Shape::Json, Thread::Main},
    {"gClose", Shape::None, Thread::Main},
    {"gQuit", Shape::None, Thread::Main},
    {"gConfirmQuit", Shape::None, Thread::Main},
    {"gOpenUrl", Shape::Json, Thread::Main},
    {"gAbout", Shape::None, Thread::Main},
    {"gOpenMountPath", Shape::Json, Thread::Main},
    {"gSetForegroundWindow", Shape::None, Thread::Main},
    {"gUpgradeClient", Shape::None, Thread::Main},
    {"gSetFullWindow", Shape::None, Thread::Main},
    {"gIsFullWindow", Shape::JsonCallback, Thread::Main},
    {"gSetCurrentPath", Shape::Json, Thread::Main},
    {"gSetMessageToLaunchpad", Shape::Json, Thread::Main},
    {"gLog", Shape::Json, Thread::Main},
    {"gGetWindowRect", Shape::JsonCallback, Thread::Main},
    {"gSetWindowRect", Shape::Json, Thread::Main},
    {"gSetCaretPosition", Shape::Json, Thread::Main},
    {"gGetLogo", Shape::JsonCallback, Thread::Main},
    {"gGetAboutInfo", Shape::JsonCallback, Thread::Main},
    {"gPostMessage", Shape::TwoTexts, Thread::Main},
    {"gResetOfficeAddin", Shape::None, Thread::Main},
    {"gGetWindowSetting", Shape::JsonCallback, Thread::Main},
    {"gCheckUpdate", Shape::JsonCallback, Thread::Main},
    {"gExeUpdateRun", Shape::None, Thread::Main},
    {"gExeUpdateInfo", Shape::JsonCallback, Thread::Main},
    {"gShowUpdateDlg", Shape::None, Thread::Main},
    {"gCheckExeUpdate", Shape::None, Thread::Main},
    {"gReport", Shape::None, Thread::Main},
    {"gZipSyncDb", Shape::None, Thread::Main},
    {"gGetSyncNormalPath", Shape::JsonCallback, Thread::Main},
    {"gCheckEmpty", Shape::JsonCallback, Thread::Main},
    {"gCompare", Shape::JsonCallback, Thread::Main},
    {"gGetLinkPath", Shape::JsonCallback, Thread::Main},
    {"gReset", Shape::Json, Thread::Main},
    {"gSetVisitUpdateDateline", Shape::Json, Thread::Main},
    {"gGetShortcuts", Shape::JsonCallback, Thread::Main},
    {"gResetCompare", Shape::Json, Thread::Main},
    {"gNotice", Shape::JsonCallback, Thread::Queue},
    {"gCheckLinkPath", Shape::JsonCallback, Thread::Queue},
    {"gSetLinkPath", Shape::JsonCallback, Thread::Queue},
    {"gCache", Shape::JsonCallback, Thread::Queue},
    {"gDeleteLinkPath", Shape::JsonCallback, Thread::Queue},
    {"gMoveLinkPath", Shape::JsonCallback, Thread::Queue},
    {"gFileTemplate", Shape::JsonCallback, Thread::Main},
    {"gEditFileProperty", Shape::Json, Thread::Main},
    {"gSetFileFavorite", Shape::JsonCallback, Thread::Main},
    {"gDelFileFavorite", Shape::JsonCallback, Thread::Main},
    {"gSetFav", Shape::Json, Thread::Main},
    {"gUpdateMemberName", Shape::Json, Thread::Main},
    {"gLock", Shape::JsonCallback, Thread::Queue},
    {"gSaveAs", Shape::JsonCallback, Thread::Queue},
    {"gNewFile", Shape::JsonCallback, Thread::Queue},
    {"gAdd", Shape::JsonCallback, Thread::Queue},
    {"gMove", Shape::JsonCallback, Thread::Queue},
    {"gRename", Shape::JsonCallback, Thread::Queue},
    {"gDelete", Shape::JsonCallback, Thread::Queue},
    {"gCopy", Shape::JsonCallback, Thread::Queue},
    {"gRecover", Shape::JsonCallback, Thread::Queue},
    {"gRenameMagic", Shape::JsonCallback, Thread::Queue},
    {"gRevert", Shape::JsonCallback, Thread::Queue},
    {"gUpdateWebPath", Shape::JsonCallback, Thread::Queue},
    {"gGetFileInfo", Shape::JsonCallback, Thread::Main},
    {"gSideTreeList", Shape::JsonCallback, Thread::Main},
    {"gGetMountInfo", Shape::JsonCallback, Thread::Main},
    {"gCheckFileCache", Shape::JsonCallback, Thread::Main},
    {"gGetFileCount", Shape::JsonCallback, Thread::Main},
    {"gCheckPathExist", Shape::JsonCallback, Thread::Main},
    {"gGetFileList", Shape::JsonCallback, Thread::Queue},
    {"gGetFileListByTime", Shape::JsonCallback, Thread::Queue},
    {"gGetOpenWithMenu", Shape::JsonCallback, Thread::Main},
    {"gOpen", Shape::JsonCallback, Thread::Queue},
    {"gSaveToLocalByDialog", Shape::JsonCallback, Thread::Main},
    {"gGetLocalPathBySave", Shape::JsonCallback, Thread::Main},
    {"gSaveToLocal", Shape::JsonCallback, Thread::Main},
    {"gGetDragFiles", Shape::JsonCallback, Thread::Main},
    {"gSetDragStart", Shape::Json, Thread::Main},
    {"gSetDragEnd", Shape::Json, Thread::Main},
    {"gSelectPathDlg", Shape::JsonCallback, Thread::Main},
    {"gGetComputerPath", Shape::JsonCallback, Thread::Main},
    {"gAddFileDlg", Shape::JsonCallback, Thread::Main},
    {"gEditorChange", Shape::Json, Thread::Main},
    {"gEditorExit", Shape::Json, Thread::Main},
    {"gEditorSave", Shape::JsonCallback, Thread::Queue},
    {"gGetTransCount", Shape::JsonCallback, Thread::Main},
    {"gChangeUpload", Shape::JsonCallback, Thread::Main},
    {"gChangeDownload", Shape::JsonCallback, Thread::Main},
    {"gGetUploadFinish", Shape::JsonCallback, Thread::Main},
    {"gGetDownloadFinish", Shape::JsonCallback, Thread::Main},
    {"gGetDownloadInfo", Shape::JsonCallback, Thread::Main},
    {"gGetTransInfo", Shape::JsonCallback, Thread::Queue},
    {"gGetUpload", Shape::JsonCallback, Thread::Queue},
    {"gGetDownload", Shape::JsonCallback, Thread::Queue},
    {"gStartUpload", Shape::JsonCallback, Thread::Queue},
    {"gStartDownload", Shape::JsonCallback, Thread::Queue},
    {"gStopUpload", Shape::JsonCallback, Thread::Queue},
    {"gStopDownload", Shape::JsonCallback, Thread::Queue},
    {"gDeleteUpload", Shape::JsonCallback, Thread::Queue},
    {"gDeleteDownload", Shape::JsonCallback, Thread::Queue},
    {"gSetLockScreenPassword", Shape::JsonCallback, Thread::Main},
    {"gSetLockScreen", Shape::None, Thread::Main},
    {"gLoginLockScreen", Shape::JsonCallback, Thread::Main},
    {"gIsSetLockScreen", Shape::JsonCallback, Thread::Main},
    {"gIsLockingScreen", Shape::JsonCallback, Thread::Main},
    {"gSetClipboardData", Shape::Json, Thread::Main},
    {"gSetClipboardDataHtml", Shape::Json, Thread::Main},
    {"gGetClipboardData", Shape::JsonCallback, Thread::Main},
    {"gGetUserImagePath", Shape::JsonCallback, Thread::Main},
    {"gGetScreenshotPath", Shape::JsonCallback, Thread::Main},
    {"gScreenshot", Shape::JsonCallback, Thread::Queue},
    {"gDialogAction", Shape::CommandJsonCallback, Thread::Main},
    {"gSocketAction", Shape::JsonEventCallback, Thread::Main},
    {"gSocketActionList", Shape::JsonEventCallback, Thread::Main},
    {"gShowMessageNotice", Shape::TwoTexts, Thread::Main},
    {"gSetMessageCount", Shape::Json, Thread::Main},
    {"gCompareNotify", Shape::Json, Thread::Main},
    {"gCompareNotifyStatus", Shape::Json, Thread::Main},
});

}  // namespace

std::size_t argumentCount(Shape shape) {
  switch (shape) {
    case Shape::JsonCallback:
    case Shape::TwoTexts:
      return 2;
    case Shape::Json:
      return 1;
    case Shape::None:
      return 0;
    case Shape::CommandJsonCallback:
    case Shape::JsonEventCallback:
      return 3;
  }
  return 0;
}

bool hasCallback(Shape shape) {
  return shape == Shape::JsonCallback || shape == Shape::CommandJsonCallback ||
         shape == Shape::JsonEventCallback;
}

std::span<const PageFunction> pageFunctions() { return kFunctions; }

const PageFunction* findPageFunction(std::string_view name) {
  const auto it = std::find_if(kFunctions.begin(), kFunctions.end(),
                               [name](const PageFunction& f) { return f.name == name; });
  return it == kFunctions.end() ? nullptr : &*it;
}

}  // namespace nb::bridge
