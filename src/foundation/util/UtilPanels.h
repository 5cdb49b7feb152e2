#pragma once
// The system's file and application choosers (GTK file chooser and
// application chooser dialogs), window placement and the alert icon.
// Main thread only, after GTK has been initialised.

#include <memory>
#include <string>

#include <gtk/gtk.h>

namespace nb::Util {

struct WidgetDestroy {
  void operator()(GtkWidget* widget) const {
    if (widget != nullptr) {
      gtk_widget_destroy(widget);
    }
  }
};
// A dialog the caller owns: destroyed with the handle.
using PanelPtr = std::unique_ptr<GtkWidget, WidgetDestroy>;

// A chooser for several files and folders at once, with folder creation,
// starting in `folder` (home when empty). Configured, not shown: the caller
// runs it. `parent` may be null.
PanelPtr OpenPanelAddFiles(GtkWindow* parent, const std::string& folder);

// A chooser for one folder, with folder creation, starting in `folder`
// (home when empty). Configured, not shown.
PanelPtr OpenPanelSelectPath(GtkWindow* parent, const std::string& folder);

// Runs, modal on `parent`, a chooser for one .jpg, .jpeg, .png or .gif file
// starting in `folder` (home when empty). The chosen path, or "" when cancelled.
std::string OpenPanelSelectImage(GtkWindow* parent, const std::string& folder);

// Runs, modal on `parent`, the application chooser for the file and opens
// the file with the application the user confirms. Answers whether it did.
bool chooseApplicationAndOpenFile(GtkWindow* parent, const std::string& fullpath);

// A point in the bottom-left-origin coordinates the callers compute in
// (GTK's top-left origin is converted where the window is placed).
struct WindowOrigin {
  double x = 0;
  double y = 0;
};

// Where a window of the given size goes on a screen of the given size:
// (0, screen height) when it fills the screen exactly, else centred across
// and 100 below the top.
WindowOrigin getWindowDisplayOriginPoint(double width, double height, double screenWidth,
                                         double screenHeight);

// The same on the primary monitor (the first one when none is primary).
WindowOrigin getWindowDisplayOriginPoint(double width, double height);

// Gives the window the alert icon "config/image/link.png" of `dataFolder`
// when that file exists; otherwise the window keeps its icon.
void setimage(GtkWindow* alert, const std::string& dataFolder);

}  // namespace nb::Util
