#include "shell/ui/gtk/GtkClipboardAccess.h"

#include <gtk/gtk.h>

namespace nb::ui {

namespace {

enum Target : guint { kHtml, kText };

struct Offer {
  std::string html;
  std::string text;
};

GtkClipboard* clipboard() { return gtk_clipboard_get(GDK_SELECTION_CLIPBOARD); }

}  // namespace

void GtkClipboardAccess::setText(const std::string& text) {
  gtk_clipboard_set_text(clipboard(), text.c_str(), static_cast<gint>(text.size()));
}

void GtkClipboardAccess::setHtml(const std::string& html, const std::string& plainText) {
  GtkTargetList* list = gtk_target_list_new(nullptr, 0);
  gtk_target_list_add(list, gdk_atom_intern_static_string("text/html"), 0, kHtml);
  gtk_target_list_add_text_targets(list, kText);
  gint count = 0;
  GtkTargetEntry* targets = gtk_target_table_new_from_list(list, &count);
  auto* offer = new Offer{html, plainText};
  const gboolean taken = gtk_clipboard_set_with_data(
      clipboard(), targets, static_cast<guint>(count),
      [](GtkClipboard*, GtkSelectionData* data, guint info, gpointer user) {
        const auto* what = static_cast<const Offer*>(user);
        if (info == kHtml) {
          gtk_selection_data_set(data, gdk_atom_intern_static_string("text/html"), 8,
                                 reinterpret_cast<const guchar*>(what->html.data()),
                                 static_cast<gint>(what->html.size()));
        } else {
          gtk_selection_data_set_text(data, what->text.c_str(),
                                      static_cast<gint>(what->text.size()));
        }
      },
      [](GtkClipboard*, gpointer user) { delete static_cast<Offer*>(user); }, offer);
  if (!taken) delete offer;
  gtk_target_table_free(targets, count);
  gtk_target_list_unref(list);
}

std::optional<std::string> GtkClipboardAccess::text() {
  gchar* text = gtk_clipboard_wait_for_text(clipboard());
  if (!text) return std::nullopt;
  std::string out(text);
  g_free(text);
  return out;
}

}  // namespace nb::ui
