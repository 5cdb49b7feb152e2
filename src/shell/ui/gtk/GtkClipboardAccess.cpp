#include "shell/ui/gtk/GtkClipboardAccess.h"

#include <gtk/gtk.h>

#include <memory>

#include "platform/GObjectPtr.h"
#include "platform/Log.h"

namespace nb::ui {

namespace {

enum Target : guint { kHtml, kText };

struct Offer {
  std::string html;
  std::string text;
};

void offerHtml(GtkClipboard* clipboard, GtkTargetList* list, const std::string& html, const std::string& plainText) {
  gint count = 0;
  GtkTargetEntry* targets = gtk_target_table_new_from_list(list, &count);
  auto* offer = new Offer{html, plainText};
  const gboolean taken = gtk_clipboard_set_with_data(
      clipboard, targets, static_cast<guint>(count),
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
}

// Heap-held while GTK asks the owner; freed by the answer.
template <typename Done>
struct Pending {
  Done done;
  std::string path;
};

}  // namespace

GtkClipboard* GtkClipboardAccess::clipboard() const {
  return gtk_clipboard_get(selection_.empty() ? GDK_SELECTION_CLIPBOARD
                                              : gdk_atom_intern(selection_.c_str(), FALSE));
}

void GtkClipboardAccess::setText(const std::string& text) {
  gtk_clipboard_set_text(clipboard(), text.c_str(), static_cast<gint>(text.size()));
}

void GtkClipboardAccess::setHtml(const std::string& html, const std::string& plainText) {
  GtkTargetList* list = gtk_target_list_new(nullptr, 0);
  gtk_target_list_add(list, gdk_atom_intern_static_string("text/html"), 0, kHtml);
  gtk_target_list_add_text_targets(list, kText);
  offerHtml(clipboard(), list, html, plainText);
  gtk_target_list_unref(list);
}

void GtkClipboardAccess::setHtmlOnly(const std::string& html) {
  GtkTargetList* list = gtk_target_list_new(nullptr, 0);
  gtk_target_list_add(list, gdk_atom_intern_static_string("text/html"), 0, kHtml);
  offerHtml(clipboard(), list, html, {});
  gtk_target_list_unref(list);
}

bool GtkClipboardAccess::setImageFromFile(const std::string& path) {
  GError* raw = nullptr;
  platform::GObjectPtr<GdkPixbuf> picture(gdk_pixbuf_new_from_file(path.c_str(), &raw));
  platform::GErrorPtr error(raw);
  if (!picture) {
    NBLOG_WARN("no picture in {}: {}", path, error ? error->message : "");
    return false;
  }
  gtk_clipboard_set_image(clipboard(), picture.get());
  return true;
}

void GtkClipboardAccess::requestFiles(std::function<void(std::vector<std::string> paths)> done) {
  using Request = Pending<std::function<void(std::vector<std::string>)>>;
  gtk_clipboard_request_uris(
      clipboard(),
      [](GtkClipboard*, gchar** uris, gpointer data) {
        std::unique_ptr<Request> request(static_cast<Request*>(data));
        std::vector<std::string> paths;
        for (gchar** uri = uris; uri && *uri; ++uri) {
          // Only local files: other addresses name nothing a page can use.
          platform::GCharPtr path(g_filename_from_uri(*uri, nullptr, nullptr));
          if (path) paths.emplace_back(path.get());
        }
        request->done(std::move(paths));
      },
      new Request{std::move(done), {}});
}

void GtkClipboardAccess::requestImageAsJpeg(const std::string& path,
                                            std::function<void(bool written)> done) {
  using Request = Pending<std::function<void(bool)>>;
  gtk_clipboard_request_image(
      clipboard(),
      [](GtkClipboard*, GdkPixbuf* picture, gpointer data) {
        std::unique_ptr<Request> request(static_cast<Request*>(data));
        if (!picture) {
          request->done(false);
          return;
        }
        GError* raw = nullptr;
        const gboolean saved = gdk_pixbuf_save(picture, request->path.c_str(), "jpeg", &raw,
                                               "quality", "100", nullptr);
        platform::GErrorPtr error(raw);
        if (!saved) NBLOG_WARN("cannot write the pasted picture: {}", error ? error->message : "");
        request->done(saved != FALSE);
      },
      new Request{std::move(done), path});
}

std::optional<std::string> GtkClipboardAccess::text() {
  gchar* text = gtk_clipboard_wait_for_text(clipboard());
  if (!text) return std::nullopt;
  std::string out(text);
  g_free(text);
  return out;
}

}  // namespace nb::ui
