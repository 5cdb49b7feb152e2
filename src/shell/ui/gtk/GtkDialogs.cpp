#include "shell/ui/gtk/GtkDialogs.h"

#include <gtk/gtk.h>

#include <memory>
#include <utility>
#include <vector>

#include "foundation/util/UtilPanels.h"
#include "foundation/util/UtilUrl.h"
#include "platform/GObjectPtr.h"
#include "shell/ui/gtk/GtkWebWindow.h"
#include "shell/ui/gtk/NestedLoopAnswer.h"

namespace nb::ui {

namespace {

GtkMessageType messageType(AlertStyle style) {
  switch (style) {
    case AlertStyle::Informational:
      return GTK_MESSAGE_INFO;
    case AlertStyle::Critical:
      return GTK_MESSAGE_ERROR;
    case AlertStyle::Warning:
      break;
  }
  return GTK_MESSAGE_WARNING;
}

// One alert on screen: answers once, then restores what it blocked.
struct OpenAlert {
  GtkWidget* dialog = nullptr;
  int lastIndex = 0;
  std::function<void(int)> done;
  std::vector<GtkWidget*> blocked;  // windows made insensitive, each referenced

  void answer(int index) {
    if (!done) return;
    for (GtkWidget* window : blocked) {
      gtk_widget_set_sensitive(window, TRUE);
      g_object_unref(window);
    }
    blocked.clear();
    std::exchange(done, nullptr)(index);
  }
};

void blockOtherWindows(OpenAlert& open) {
  GList* windows = gtk_window_list_toplevels();
  for (GList* node = windows; node; node = node->next) {
    GtkWidget* window = GTK_WIDGET(node->data);
    if (window == open.dialog || !gtk_widget_get_visible(window) ||
        !gtk_widget_get_sensitive(window)) {
      continue;
    }
    gtk_widget_set_sensitive(window, FALSE);
    open.blocked.push_back(GTK_WIDGET(g_object_ref(window)));
  }
  g_list_free(windows);
}

GtkWidget* makeDialog(const Alert& alert, GtkWindow* parent) {
  GtkWidget* dialog =
      gtk_message_dialog_new(parent, GTK_DIALOG_DESTROY_WITH_PARENT, messageType(alert.style),
                             GTK_BUTTONS_NONE, "%s", alert.message.c_str());
  if (!alert.informative.empty()) {
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                             alert.informative.c_str());
  }
  for (std::size_t i = 0; i < alert.buttons.size(); ++i) {
    gtk_dialog_add_button(GTK_DIALOG(dialog), alert.buttons[i].c_str(), static_cast<int>(i));
  }
  if (!alert.buttons.empty()) gtk_dialog_set_default_response(GTK_DIALOG(dialog), 0);
  if (!alert.iconPath.empty()) {
    gtk_window_set_icon_from_file(GTK_WINDOW(dialog), alert.iconPath.c_str(), nullptr);
  }
  return dialog;
}

}  // namespace

void GtkDialogs::showAlert(const Alert& alert, WebWindow* parent, Modality modality,
                           std::function<void(int index)> done) {
  auto* gtkParent = dynamic_cast<GtkWebWindow*>(parent);
  GtkWindow* parentWindow = gtkParent ? gtkParent->gtkWindow() : nullptr;
  auto* open = new OpenAlert;
  open->dialog = makeDialog(alert, parentWindow);
  open->lastIndex = static_cast<int>(alert.buttons.size()) - 1;
  open->done = std::move(done);
  if (modality == Modality::Window && parentWindow) {
    if (GtkWindowGroup* group = gtk_window_get_group(parentWindow)) {
      gtk_window_group_add_window(group, GTK_WINDOW(open->dialog));
    }
  } else {
    blockOtherWindows(*open);
  }
  gtk_window_set_modal(GTK_WINDOW(open->dialog), TRUE);
  // Close button and Escape answer the last button, the safe choice.
  g_signal_connect(open->dialog, "response",
                   G_CALLBACK(+[](GtkDialog* dialog, int response, gpointer data) {
                     auto* self = static_cast<OpenAlert*>(data);
                     self->answer(response >= 0 ? response : self->lastIndex);
                     gtk_widget_destroy(GTK_WIDGET(dialog));
                   }),
                   open);
  // Also ends an alert whose parent went away first.
  g_signal_connect(open->dialog, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                     std::unique_ptr<OpenAlert> self(static_cast<OpenAlert*>(data));
                     self->answer(self->lastIndex);
                   }),
                   open);
  gtk_widget_show(open->dialog);
}

int GtkDialogs::runAlert(const Alert& alert, WebWindow* parent, Modality modality) {
  return runUntilAnswered(-1, [&](std::function<void(int)> done) {
    showAlert(alert, parent, modality, std::move(done));
  });
}

std::string GtkDialogs::chooseImage(WebWindow* parent) {
  auto* gtkParent = dynamic_cast<GtkWebWindow*>(parent);
  return Util::OpenPanelSelectImage(gtkParent ? gtkParent->gtkWindow() : nullptr, "");
}

void GtkDialogs::showAbout(const AboutBox& about, std::function<void()> linkClicked) {
  constexpr int kWidth = 420;
  constexpr int kHeight = 260;
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), about.name.c_str());
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_window_set_default_size(GTK_WINDOW(window), kWidth, kHeight);
  GtkWidget* overlay = gtk_overlay_new();
  if (!about.backgroundPath.empty()) {
    gtk_container_add(GTK_CONTAINER(overlay), gtk_image_new_from_file(about.backgroundPath.c_str()));
  } else {
    gtk_container_add(GTK_CONTAINER(overlay), gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
  }
  GtkWidget* texts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
  gtk_widget_set_valign(texts, GTK_ALIGN_END);
  gtk_widget_set_halign(texts, GTK_ALIGN_CENTER);
  gtk_widget_set_margin_bottom(texts, 24);
  gtk_box_pack_start(GTK_BOX(texts), gtk_label_new(about.name.c_str()), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(texts), gtk_label_new(about.version.c_str()), FALSE, FALSE, 0);
  GtkWidget* link = gtk_link_button_new_with_label("about:", about.linkTitle.c_str());
  using Click = std::function<void()>;
  // The address is ours to open (in the scheme the user chose).
  g_signal_connect_data(link, "activate-link", G_CALLBACK(+[](GtkLinkButton*, gpointer data) {
                          (*static_cast<Click*>(data))();
                          return TRUE;
                        }),
                        new Click(std::move(linkClicked)),
                        [](gpointer data, GClosure*) { delete static_cast<Click*>(data); },
                        GConnectFlags(0));
  gtk_box_pack_start(GTK_BOX(texts), link, FALSE, FALSE, 0);
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay), texts);
  gtk_container_add(GTK_CONTAINER(window), overlay);
  // The origin comes bottom-left based; GTK places the top-left corner.
  const Util::WindowOrigin origin = Util::getWindowDisplayOriginPoint(kWidth, kHeight);
  GdkRectangle screen{0, 0, 0, 0};
  if (GdkDisplay* display = gdk_display_get_default()) {
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    if (monitor) gdk_monitor_get_geometry(monitor, &screen);
  }
  gtk_window_move(GTK_WINDOW(window), static_cast<int>(origin.x),
                  static_cast<int>(screen.height - origin.y));
  gtk_widget_show_all(window);
}

void GtkDialogs::chooseFolder(const FolderChooser& chooser, WebWindow* parent,
                              std::function<void(std::optional<std::string>)> done) {
  auto* gtkParent = dynamic_cast<GtkWebWindow*>(parent);
  Util::PanelPtr panel =
      Util::OpenPanelSelectPath(gtkParent ? gtkParent->gtkWindow() : nullptr, chooser.startFolder);
  GtkWidget* dialog = panel.release();  // destroyed in the response handler
  if (!chooser.title.empty()) gtk_window_set_title(GTK_WINDOW(dialog), chooser.title.c_str());
  if (!chooser.acceptLabel.empty()) {
    if (GtkWidget* accept =
            gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT)) {
      gtk_button_set_label(GTK_BUTTON(accept), chooser.acceptLabel.c_str());
    }
  }
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  using Done = std::function<void(std::optional<std::string>)>;
  g_signal_connect(dialog, "response",
                   G_CALLBACK(+[](GtkDialog* self, int response, gpointer data) {
                     std::unique_ptr<Done> answer(static_cast<Done*>(data));
                     std::optional<std::string> folder;
                     if (response == GTK_RESPONSE_ACCEPT) {
                       auto* files = GTK_FILE_CHOOSER(self);
                       // Accepting with nothing selected takes the folder shown.
                       platform::GCharPtr path(gtk_file_chooser_get_filename(files));
                       if (!path) path.reset(gtk_file_chooser_get_current_folder(files));
                       if (path) folder = std::string(path.get());
                     }
                     gtk_widget_destroy(GTK_WIDGET(self));
                     (*answer)(std::move(folder));
                   }),
                   new Done(std::move(done)));
  gtk_widget_show(GTK_WIDGET(dialog));
}

// GTK's chooser picks either files or folders: a toggle below it switches
// between the two, and the choice made in either mode is answered.
void GtkDialogs::chooseFiles(const FilesChooser& chooser, WebWindow* parent,
                             std::function<void(std::optional<std::vector<std::string>>)> done) {
  auto* gtkParent = dynamic_cast<GtkWebWindow*>(parent);
  Util::PanelPtr panel =
      Util::OpenPanelAddFiles(gtkParent ? gtkParent->gtkWindow() : nullptr, chooser.startFolder);
  GtkWidget* dialog = panel.release();  // destroyed in the response handler
  if (!chooser.title.empty()) gtk_window_set_title(GTK_WINDOW(dialog), chooser.title.c_str());
  GtkWidget* folders =
      gtk_check_button_new_with_label(Util::localizedStringForKey("选择文件夹").c_str());
  g_signal_connect(folders, "toggled", G_CALLBACK(+[](GtkToggleButton* toggle, gpointer files) {
                     gtk_file_chooser_set_action(
                         GTK_FILE_CHOOSER(files), gtk_toggle_button_get_active(toggle)
                                                      ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER
                                                      : GTK_FILE_CHOOSER_ACTION_OPEN);
                   }),
                   dialog);
  gtk_file_chooser_set_extra_widget(GTK_FILE_CHOOSER(dialog), folders);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  using Done = std::function<void(std::optional<std::vector<std::string>>)>;
  g_signal_connect(dialog, "response",
                   G_CALLBACK(+[](GtkDialog* self, int response, gpointer data) {
                     std::unique_ptr<Done> answer(static_cast<Done*>(data));
                     std::optional<std::vector<std::string>> paths;
                     if (response == GTK_RESPONSE_ACCEPT) {
                       paths.emplace();
                       GSList* names = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(self));
                       for (GSList* n = names; n; n = n->next) {
                         paths->emplace_back(static_cast<const char*>(n->data));
                       }
                       g_slist_free_full(names, g_free);
                     }
                     gtk_widget_destroy(GTK_WIDGET(self));
                     (*answer)(std::move(paths));
                   }),
                   new Done(std::move(done)));
  gtk_widget_show(GTK_WIDGET(dialog));
}

}  // namespace nb::ui
