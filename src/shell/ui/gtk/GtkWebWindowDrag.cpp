// Drags into and out of a web window's page.
#include "platform/GObjectPtr.h"
#include "shell/ui/gtk/GtkWebWindow.h"

namespace nb::ui {

namespace {

// file:// addresses of a drag's uri-list as paths, in the list's order.
std::vector<std::string> filePaths(GtkSelectionData* data) {
  std::vector<std::string> paths;
  gchar** uris = gtk_selection_data_get_uris(data);
  if (!uris) return paths;
  for (gchar** uri = uris; *uri; ++uri) {
    platform::GCharPtr path(g_filename_from_uri(*uri, nullptr, nullptr));
    if (path) paths.emplace_back(path.get());
  }
  g_strfreev(uris);
  return paths;
}

}  // namespace

void GtkWebWindow::connectDragSignals() {
  // Connected before the engine's own handlers, which still run: the page
  // gets its drop events as usual.
  g_signal_connect(view_, "drag-data-received", G_CALLBACK(onDragData), this);
  g_signal_connect(view_, "drag-drop", G_CALLBACK(onDragDrop), this);
  g_signal_connect(view_, "drag-begin", G_CALLBACK(onDragBegin), this);
  g_signal_connect(view_, "drag-end", G_CALLBACK(onDragEnd), this);
  g_signal_connect(view_, "drag-data-get", G_CALLBACK(onDragGet), this);
}

void GtkWebWindow::onDragGet(GtkWidget* widget, GdkDragContext*, GtkSelectionData* data, guint,
                             guint, gpointer self) {
  auto* window = static_cast<GtkWebWindow*>(self);
  if (window->dragOutFiles_.empty() ||
      gtk_selection_data_get_target(data) != gdk_atom_intern_static_string("text/uri-list")) {
    return;
  }
  std::vector<platform::GCharPtr> uris;
  std::vector<gchar*> list;
  for (const std::string& path : window->dragOutFiles_) {
    uris.emplace_back(g_filename_to_uri(path.c_str(), nullptr, nullptr));
    if (uris.back()) list.push_back(uris.back().get());
  }
  list.push_back(nullptr);
  gtk_selection_data_set_uris(data, list.data());
  // The engine would write the page's own data over ours.
  g_signal_stop_emission_by_name(widget, "drag-data-get");
}

void GtkWebWindow::onDragData(GtkWidget*, GdkDragContext* context, gint, gint,
                              GtkSelectionData* data, guint, guint, gpointer self) {
  auto* window = static_cast<GtkWebWindow*>(self);
  std::vector<std::string> paths = filePaths(data);
  if (paths.empty()) {
    window->dropPending_.reset();  // a drop without files stores nothing
    return;
  }
  // The engine asks for the data while the drag moves; keep the drag's
  // files for its drop.
  window->dragContext_ = context;
  window->dragPaths_ = std::move(paths);
  if (window->dropPending_) {
    const auto [x, y] = *std::exchange(window->dropPending_, std::nullopt);
    window->reportDrop(std::exchange(window->dragPaths_, {}), x, y);
  }
}

gboolean GtkWebWindow::onDragDrop(GtkWidget*, GdkDragContext* context, gint x, gint y, guint,
                                  gpointer self) {
  auto* window = static_cast<GtkWebWindow*>(self);
  window->droppedInside_ = true;
  if (window->dragContext_ == context && !window->dragPaths_.empty()) {
    window->reportDrop(std::exchange(window->dragPaths_, {}), x, y);
  } else {
    window->dropPending_ = std::make_pair(double(x), double(y));
  }
  window->dragContext_ = nullptr;
  return FALSE;
}

void GtkWebWindow::reportDrop(const std::vector<std::string>& paths, double x, double y) {
  if (handlers_.fileDrop) handlers_.fileDrop(FileDrop{paths, x, y});
}

void GtkWebWindow::onDragBegin(GtkWidget*, GdkDragContext*, gpointer self) {
  static_cast<GtkWebWindow*>(self)->droppedInside_ = false;
}

void GtkWebWindow::onDragEnd(GtkWidget*, GdkDragContext*, gpointer self) {
  auto* window = static_cast<GtkWebWindow*>(self);
  if (std::exchange(window->droppedInside_, false)) return;
  // No file manager here tells where it put the drag, so the target is
  // unknown.
  if (window->handlers_.dragOutEnded) window->handlers_.dragOutEnded(std::nullopt);
}

}  // namespace nb::ui
