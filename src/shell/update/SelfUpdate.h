#pragma once
// Keeping the client current from the service's update host: the offer of
// a new program archive (asked for, then downloaded and installed by
// DownloadExeTask), the web UI package "start.zip" and, for a deployment
// that names a source, the customisation package "config.zip".
//
// The checks run on the application's task queue; nothing here restarts
// the client. The update state lives on AppDelegate (updateStatusInteger,
// strUpdateServerInfo, appServer*); page events go to the update window
// and to every page through the registered window directory.
//
// Threads: any, unless a member says otherwise.

#include <cstdint>
#include <filesystem>
#include <string>

namespace nb {
class AppDelegate;
}

namespace nb::update {

// The channel the web UI and customisation packages are published under.
inline constexpr const char* kPackageChannel = "app_mac3";
// The package names inside "nbtemp" and the user-defaults keys.
inline constexpr const char* kUIPackageName = "start";
inline constexpr const char* kConfigPackageName = "config";

// Queues the update query and the web UI package fetch, and the
// customisation package fetch when the server configuration names a
// deployment source. Start-up, the hourly housekeeping pass, a sign-in the
// service refused with code 3 and the page call gCheckExeUpdate call it.
void checkServerAppandUI(AppDelegate& app);

// The update query, on the caller's thread (a task-queue thread): keeps
// the answer, tells the update window, then either offers the update to
// the pages (ask-first deployments) or starts the download at once.
void GetUpdateXML(AppDelegate& app);

// Queues the download of the offered archive unless one is running already
// (the page call gExeUpdateRun and the silent path of the query). Answers
// whether a download was queued.
bool onShowUpdate(AppDelegate& app);
// Whether an archive download is under way.
bool downloadRunning();

// The web UI package fetch and the customisation package fetch, on the
// caller's thread (a task-queue thread).
void UIDownloadZip(AppDelegate& app);
void ConfigDownloadZip(AppDelegate& app);

// Seconds since 2001-01-01 UTC: the time the package query sends.
double referenceDateSeconds(std::uint64_t unixSeconds);

// The install tree the program archive replaces: <prefix> of
// <prefix>/bin/nubren and <prefix>/share/nubren. By default the parent of
// the running executable's folder; start-up or a test may name another.
std::filesystem::path programFolder();
void setProgramFolder(std::filesystem::path folder);

// The writable "config" folder the customisation package unpacks into
// (beside the deployment's own files there).
std::filesystem::path brandingFolder();

}  // namespace nb::update
