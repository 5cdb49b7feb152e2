#pragma once
// The application menu: on this desktop a menu button in the header bar of
// every window (there is no global menu bar), with the items of a menu bar
// as submenus.

#include <functional>
#include <string>
#include <vector>

namespace nb::ui {

class WebWindow;

// One row: an item, a submenu (its rows in `submenu`), or a separator
// (no title, no action, no rows).
struct AppMenuItem {
  std::string title;
  // The key shown beside the title, in GTK's notation ("<Control>q");
  // "" for none. Only shown: the keys themselves reach the key observer.
  std::string accelerator;
  // Runs on the main thread with the window whose menu was used.
  std::function<void(WebWindow&)> activate;
  std::vector<AppMenuItem> submenu;

  static AppMenuItem separator() { return {}; }
  bool isSeparator() const { return title.empty() && !activate && submenu.empty(); }
};

using AppMenu = std::vector<AppMenuItem>;

}  // namespace nb::ui
