#include "foundation/util/UtilPanels.h"

#include <filesystem>

#include "foundation/util/UtilUrl.h"
#include "platform/GObjectPtr.h"
#include "platform/Log.h"
#include "platform/AppFolders.h"

namespace nb::Util {

namespace {

// Texts shown by the panels; the language tables are keyed by these.
constexpr const char* kTitleChooseFiles = "选择文件";
constexpr const char* kTitleChoosePath = "选择路径";
constexpr const char* kTitleChooseImage = "选择图片";
constexpr const char* kTitleChooseApp = "选择应用程序";
constexpr const char* kPromptChoose = "选择";
constexpr const char* kPromptOpen = "打开";
constexpr const char* kMessageChooseApp = "选择一个应用程序以打开文稿\"%@\"。";
constexpr const char* kCancel = "取消";

std::string text(const char* key) { return localizedStringForKey(key); }

PanelPtr makeChooser(GtkWindow* parent, const char* title, GtkFileChooserAction action,
                     const std::string& folder) {
  PanelPtr panel(gtk_file_chooser_dialog_new(text(title).c_str(), parent, action,
                                             text(kCancel).c_str(), GTK_RESPONSE_CANCEL,
                                             text(kPromptChoose).c_str(), GTK_RESPONSE_ACCEPT,
                                             nullptr));
  auto* chooser = GTK_FILE_CHOOSER(panel.get());
  const std::string start = folder.empty() ? platform::homeFolder().string() : folder;
  gtk_file_chooser_set_current_folder(chooser, start.c_str());
  gtk_file_chooser_set_local_only(chooser, TRUE);
  return panel;
}

std::string formatted(const std::string& pattern, const std::string& value) {
  std::string out = pattern;
  if (const auto at = out.find("%@"); at != std::string::npos) {
    out.replace(at, 2, value);
  }
  return out;
}

}  // namespace

PanelPtr OpenPanelAddFiles(GtkWindow* parent, const std::string& folder) {
  // GTK's open chooser takes files; folders are chosen by opening them, which
  // the "select folder" action would forbid for files. Open plus multiple
  // selection lets both through.
  PanelPtr panel = makeChooser(parent, kTitleChooseFiles, GTK_FILE_CHOOSER_ACTION_OPEN, folder);
  gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(panel.get()), TRUE);
  gtk_file_chooser_set_create_folders(GTK_FILE_CHOOSER(panel.get()), TRUE);
  return panel;
}

PanelPtr OpenPanelSelectPath(GtkWindow* parent, const std::string& folder) {
  PanelPtr panel =
      makeChooser(parent, kTitleChoosePath, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, folder);
  gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(panel.get()), FALSE);
  gtk_file_chooser_set_create_folders(GTK_FILE_CHOOSER(panel.get()), TRUE);
  return panel;
}

std::string OpenPanelSelectImage(GtkWindow* parent, const std::string& folder) {
  PanelPtr panel = makeChooser(parent, kTitleChooseImage, GTK_FILE_CHOOSER_ACTION_OPEN, folder);
  auto* chooser = GTK_FILE_CHOOSER(panel.get());
  gtk_file_chooser_set_select_multiple(chooser, FALSE);
  gtk_file_chooser_set_create_folders(chooser, FALSE);
  GtkFileFilter* filter = gtk_file_filter_new();  // owned by the chooser once added
  for (const char* type : {"jpg", "jpeg", "png", "gif"}) {
    gtk_file_filter_add_pattern(filter, (std::string("*.") + type).c_str());
    platform::GCharPtr upper(g_ascii_strup(type, -1));
    gtk_file_filter_add_pattern(filter, (std::string("*.") + upper.get()).c_str());
  }
  gtk_file_chooser_set_filter(chooser, filter);
  gtk_window_set_modal(GTK_WINDOW(panel.get()), TRUE);
  if (gtk_dialog_run(GTK_DIALOG(panel.get())) != GTK_RESPONSE_ACCEPT) {
    return {};
  }
  platform::GCharPtr path(gtk_file_chooser_get_filename(chooser));
  return path ? std::string(path.get()) : std::string();
}

bool chooseApplicationAndOpenFile(GtkWindow* parent, const std::string& fullpath) {
  platform::GObjectPtr<GFile> file(g_file_new_for_path(fullpath.c_str()));
  PanelPtr panel(gtk_app_chooser_dialog_new(parent, GTK_DIALOG_MODAL, file.get()));
  gtk_window_set_title(GTK_WINDOW(panel.get()), text(kTitleChooseApp).c_str());
  const std::string name = std::filesystem::path(fullpath).filename().string();
  gtk_app_chooser_dialog_set_heading(GTK_APP_CHOOSER_DIALOG(panel.get()),
                                     formatted(text(kMessageChooseApp), name).c_str());
  if (GtkWidget* ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(panel.get()), GTK_RESPONSE_OK)) {
    gtk_button_set_label(GTK_BUTTON(ok), text(kPromptOpen).c_str());
  }
  if (gtk_dialog_run(GTK_DIALOG(panel.get())) != GTK_RESPONSE_OK) {
    return false;
  }
  platform::GObjectPtr<GAppInfo> app(gtk_app_chooser_get_app_info(GTK_APP_CHOOSER(panel.get())));
  if (!app) {
    return false;
  }
  GList files{file.get(), nullptr, nullptr};
  GError* raw = nullptr;
  const bool ok = g_app_info_launch(app.get(), &files, nullptr, &raw) != FALSE;
  platform::GErrorPtr error(raw);
  if (!ok) {
    NBLOG_WARN("open {} failed: {}", fullpath, error ? error->message : "");
  }
  return ok;
}

WindowOrigin getWindowDisplayOriginPoint(double width, double height, double screenWidth,
                                         double screenHeight) {
  if (width == screenWidth && height == screenHeight) {
    return {0, screenHeight};
  }
  return {(screenWidth - width) / 2, screenHeight - 100};
}

WindowOrigin getWindowDisplayOriginPoint(double width, double height) {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display == nullptr ? nullptr : gdk_display_get_primary_monitor(display);
  if (monitor == nullptr && display != nullptr) {
    monitor = gdk_display_get_monitor(display, 0);
  }
  if (monitor == nullptr) {
    return {};
  }
  GdkRectangle frame{};
  gdk_monitor_get_geometry(monitor, &frame);
  return getWindowDisplayOriginPoint(width, height, frame.width, frame.height);
}

void setimage(GtkWindow* alert, const std::string& dataFolder) {
  const std::string icon = dataFolder + "/config/image/link.png";
  std::error_code ec;
  if (alert != nullptr && std::filesystem::is_regular_file(icon, ec)) {
    gtk_window_set_icon_from_file(alert, icon.c_str(), nullptr);
  }
}

}  // namespace nb::Util
