// A web window's header bar, its application menu, and the edit and
// minimise commands that menu offers.
#include "shell/ui/gtk/GtkWebWindow.h"

namespace nb::ui {

namespace {

struct MenuAction {
  std::weak_ptr<GtkWebWindow> window;
  std::function<void(WebWindow&)> activate;
};

void runMenuAction(GtkMenuItem*, gpointer data) {
  auto* action = static_cast<MenuAction*>(data);
  if (auto window = action->window.lock()) action->activate(*window);
}

GtkWidget* buildMenu(const AppMenu& rows, const std::weak_ptr<GtkWebWindow>& window) {
  GtkWidget* menu = gtk_menu_new();
  for (const AppMenuItem& row : rows) {
    GtkWidget* item = nullptr;
    if (row.isSeparator()) {
      item = gtk_separator_menu_item_new();
    } else {
      item = gtk_menu_item_new_with_label(row.title.c_str());
      if (!row.submenu.empty()) {
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), buildMenu(row.submenu, window));
      } else if (row.activate) {
        g_signal_connect_data(item, "activate", G_CALLBACK(runMenuAction),
                              new MenuAction{window, row.activate},
                              [](gpointer data, GClosure*) { delete static_cast<MenuAction*>(data); },
                              GConnectFlags{});
      }
      guint key = 0;
      GdkModifierType modifiers{};
      if (!row.accelerator.empty()) gtk_accelerator_parse(row.accelerator.c_str(), &key, &modifiers);
      if (key != 0) {
        gtk_accel_label_set_accel(GTK_ACCEL_LABEL(gtk_bin_get_child(GTK_BIN(item))), key, modifiers);
      }
    }
    gtk_widget_show(item);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
  return menu;
}

}  // namespace

void GtkWebWindow::buildHeaderBar() {
  headerBar_ = gtk_header_bar_new();
  gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(headerBar_), TRUE);
  GtkWidget* button = gtk_button_new_from_icon_name("open-menu-symbolic", GTK_ICON_SIZE_BUTTON);
  g_signal_connect(button, "clicked", G_CALLBACK(onMenuButton), this);
  gtk_header_bar_pack_start(GTK_HEADER_BAR(headerBar_), button);
  gtk_widget_show_all(headerBar_);
  gtk_window_set_titlebar(GTK_WINDOW(window_), headerBar_);
}

void GtkWebWindow::onMenuButton(GtkButton* button, gpointer self) {
  auto* window = static_cast<GtkWebWindow*>(self);
  if (!window->appMenu_ || window->appMenu_->empty()) return;
  GtkWidget* menu = buildMenu(*window->appMenu_, window->weak_from_this());
  // The menu goes when it closes; its actions hold only a weak window.
  g_signal_connect(menu, "deactivate", G_CALLBACK(+[](GtkMenuShell* shell, gpointer) {
                     g_idle_add([](gpointer widget) {
                       gtk_widget_destroy(GTK_WIDGET(widget));
                       return gboolean{G_SOURCE_REMOVE};
                     }, shell);
                   }),
                   nullptr);
  gtk_menu_attach_to_widget(GTK_MENU(menu), GTK_WIDGET(button), nullptr);
  gtk_menu_popup_at_widget(GTK_MENU(menu), GTK_WIDGET(button), GDK_GRAVITY_SOUTH_WEST,
                           GDK_GRAVITY_NORTH_WEST, nullptr);
}

void GtkWebWindow::minimize() {
  if (window_) gtk_window_iconify(GTK_WINDOW(window_));
}

void GtkWebWindow::runEditCommand(EditCommand command) {
  if (!view_) return;
  const char* name = WEBKIT_EDITING_COMMAND_SELECT_ALL;
  switch (command) {
    case EditCommand::Cut:
      name = WEBKIT_EDITING_COMMAND_CUT;
      break;
    case EditCommand::Copy:
      name = WEBKIT_EDITING_COMMAND_COPY;
      break;
    case EditCommand::Paste:
      name = WEBKIT_EDITING_COMMAND_PASTE;
      break;
    case EditCommand::SelectAll:
      break;
  }
  webkit_web_view_execute_editing_command(view_, name);
}

}  // namespace nb::ui
