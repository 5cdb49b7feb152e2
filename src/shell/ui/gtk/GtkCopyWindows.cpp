#include "shell/ui/gtk/GtkCopyWindows.h"

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <utility>

#include "platform/GObjectPtr.h"
#include "shell/ui/gtk/GtkWebWindow.h"
#include "shell/ui/gtk/NestedLoopAnswer.h"

namespace nb::ui {

namespace {

constexpr int kQuestionWidth = 400;
constexpr int kQuestionHeight = 98;
constexpr int kMessageWidth = 320;
constexpr int kIconSize = 32;

GtkWidget* iconImage(const std::string& icon, int size) {
  if (icon.empty()) return gtk_image_new();
  if (icon.front() == '/') {
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file_at_size(icon.c_str(), size, size, nullptr);
    if (!pixbuf) return gtk_image_new();
    GtkWidget* image = gtk_image_new_from_pixbuf(pixbuf);
    g_object_unref(pixbuf);
    return image;
  }
  GIcon* gicon = g_icon_new_for_string(icon.c_str(), nullptr);
  if (!gicon) return gtk_image_new();
  GtkWidget* image = gtk_image_new_from_gicon(gicon, GTK_ICON_SIZE_DND);
  gtk_image_set_pixel_size(GTK_IMAGE(image), size);
  g_object_unref(gicon);
  return image;
}

GtkWindow* gtkParentOf(WebWindow* parent) {
  auto* gtkParent = dynamic_cast<GtkWebWindow*>(parent);
  return gtkParent ? gtkParent->gtkWindow() : nullptr;
}

// One question on screen: answers once.
struct OpenQuestion {
  GtkWidget* applyToAll = nullptr;
  std::function<void(ReplaceAnswer)> done;

  void answer(std::int64_t button) {
    if (!done) return;
    ReplaceAnswer result;
    result.button = button;
    result.applyToAll =
        applyToAll && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(applyToAll));
    std::exchange(done, nullptr)(result);
  }
};

constexpr std::int64_t kStop = 1;

}  // namespace

void GtkCopyWindows::askReplace(const ReplaceQuestion& question, WebWindow* parent,
                                std::function<void(ReplaceAnswer)> done) {
  GtkWindow* parentWindow = gtkParentOf(parent);
  GtkWidget* dialog = gtk_dialog_new();
  gtk_window_set_transient_for(GTK_WINDOW(dialog), parentWindow);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  gtk_window_set_default_size(GTK_WINDOW(dialog), kQuestionWidth, kQuestionHeight);
  if (parentWindow) {
    if (GtkWindowGroup* group = gtk_window_get_group(parentWindow)) {
      gtk_window_group_add_window(group, GTK_WINDOW(dialog));
    }
  }
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);

  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  gtk_container_set_border_width(GTK_CONTAINER(row), 12);
  gtk_box_pack_start(GTK_BOX(row), iconImage(question.icon, kIconSize), FALSE, FALSE, 0);
  // The label wraps at the message width, so a long message makes the
  // dialog taller rather than wider.
  GtkWidget* message = gtk_label_new(question.message.c_str());
  gtk_label_set_line_wrap(GTK_LABEL(message), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(message), 1);
  gtk_widget_set_size_request(message, kMessageWidth, -1);
  gtk_label_set_xalign(GTK_LABEL(message), 0);
  gtk_box_pack_start(GTK_BOX(row), message, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(content), row, TRUE, TRUE, 0);

  auto* open = new OpenQuestion;
  open->done = std::move(done);
  open->applyToAll = gtk_check_button_new_with_label(question.applyToAllTitle.c_str());
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(open->applyToAll), FALSE);
  gtk_box_pack_start(GTK_BOX(content), open->applyToAll, FALSE, FALSE, 4);
  gtk_widget_show_all(content);
  gtk_widget_set_no_show_all(open->applyToAll, TRUE);
  if (!question.showApplyToAll) gtk_widget_hide(open->applyToAll);

  gtk_dialog_add_button(GTK_DIALOG(dialog), question.keepBothTitle.c_str(), 0);
  gtk_dialog_add_button(GTK_DIALOG(dialog), question.stopTitle.c_str(), 1);
  gtk_dialog_add_button(GTK_DIALOG(dialog), question.replaceTitle.c_str(), 2);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), 2);

  // Closing the question (close button, Escape) is a stop: nothing is
  // replaced that the user did not choose to replace.
  g_signal_connect(dialog, "response",
                   G_CALLBACK(+[](GtkDialog* self, int response, gpointer data) {
                     static_cast<OpenQuestion*>(data)->answer(response >= 0 ? response : kStop);
                     gtk_widget_destroy(GTK_WIDGET(self));
                   }),
                   open);
  g_signal_connect(dialog, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                     std::unique_ptr<OpenQuestion> self(static_cast<OpenQuestion*>(data));
                     self->answer(kStop);
                   }),
                   open);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
  gtk_window_present(GTK_WINDOW(dialog));
}

ReplaceAnswer GtkCopyWindows::runReplace(const ReplaceQuestion& question, WebWindow* parent) {
  return runUntilAnswered(ReplaceAnswer{}, [&](std::function<void(ReplaceAnswer)> done) {
    askReplace(question, parent, std::move(done));
  });
}

namespace {

// The widgets of a progress window, shared with its signal handlers so that
// the owner may go away inside a handler.
struct ProgressState {
  GtkWidget* window = nullptr;
  GtkWidget* action = nullptr;
  GtkWidget* icon = nullptr;
  GtkWidget* bar = nullptr;
  GtkWidget* text = nullptr;
  GtkWidget* cancel = nullptr;
  std::string cancelImage;  // the button's image files, plain and under the pointer
  std::string cancelPressedImage;
  ProgressWindow::Handlers handlers;
  bool closed = false;
};

// The image file on the cancel button; a plain mark without one.
void setCancelImage(ProgressState& s, const std::string& file) {
  if (!s.window) return;
  if (file.empty()) {
    gtk_button_set_label(GTK_BUTTON(s.cancel), "×");
    return;
  }
  gtk_button_set_label(GTK_BUTTON(s.cancel), nullptr);
  gtk_button_set_image(GTK_BUTTON(s.cancel), gtk_image_new_from_file(file.c_str()));
  gtk_button_set_always_show_image(GTK_BUTTON(s.cancel), TRUE);
}

template <bool kUnderPointer>
gboolean showCancelImage(GtkWidget*, GdkEvent*, gpointer data) {
  auto state = *static_cast<std::shared_ptr<ProgressState>*>(data);
  setCancelImage(*state, kUnderPointer ? state->cancelPressedImage : state->cancelImage);
  return FALSE;
}

class GtkProgressWindow final : public ProgressWindow {
 public:
  GtkProgressWindow() : state_(std::make_shared<ProgressState>()) {
    ProgressState& s = *state_;
    s.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_resizable(GTK_WINDOW(s.window), FALSE);
    gtk_window_set_default_size(GTK_WINDOW(s.window), 400, 90);
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_container_set_border_width(GTK_CONTAINER(row), 12);
    s.icon = gtk_image_new();
    gtk_box_pack_start(GTK_BOX(row), s.icon, FALSE, FALSE, 0);
    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    s.action = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(s.action), 0);
    gtk_label_set_ellipsize(GTK_LABEL(s.action), PANGO_ELLIPSIZE_MIDDLE);
    gtk_box_pack_start(GTK_BOX(column), s.action, FALSE, FALSE, 0);
    GtkWidget* line = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    s.bar = gtk_progress_bar_new();
    gtk_widget_set_valign(s.bar, GTK_ALIGN_CENTER);
    gtk_box_pack_start(GTK_BOX(line), s.bar, TRUE, TRUE, 0);
    s.text = gtk_label_new("");
    gtk_box_pack_start(GTK_BOX(line), s.text, FALSE, FALSE, 0);
    s.cancel = gtk_button_new();
    gtk_button_set_relief(GTK_BUTTON(s.cancel), GTK_RELIEF_NONE);
    gtk_box_pack_start(GTK_BOX(line), s.cancel, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), line, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), column, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(s.window), row);
    gtk_widget_show_all(row);
    for (GtkWidget* w : {s.bar, s.text, s.cancel}) {
      gtk_widget_set_no_show_all(w, TRUE);
      gtk_widget_hide(w);
    }
    auto* handlerState = new std::shared_ptr<ProgressState>(state_);
    g_signal_connect(s.cancel, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
                       auto state = *static_cast<std::shared_ptr<ProgressState>*>(data);
                       if (auto cancel = state->handlers.cancelClicked) cancel();
                     }),
                     handlerState);
    // The button shows its second image while the pointer is over it.
    g_signal_connect(s.cancel, "enter-notify-event", G_CALLBACK(showCancelImage<true>),
                     handlerState);
    g_signal_connect(s.cancel, "leave-notify-event", G_CALLBACK(showCancelImage<false>),
                     handlerState);
    g_signal_connect(s.window, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                       std::unique_ptr<std::shared_ptr<ProgressState>> holder(
                           static_cast<std::shared_ptr<ProgressState>*>(data));
                       auto state = *holder;
                       state->closed = true;
                       state->window = nullptr;
                       if (auto closed = std::exchange(state->handlers.closed, nullptr)) closed();
                       state->handlers = {};
                     }),
                     handlerState);
  }
  ~GtkProgressWindow() override { close(); }

  void setHandlers(Handlers handlers) override { state_->handlers = std::move(handlers); }

  void setLabels(const ProgressLabels& labels) override {
    ProgressState& s = *state_;
    if (!s.window) return;
    gtk_window_set_title(GTK_WINDOW(s.window), labels.title.c_str());
    gtk_label_set_text(GTK_LABEL(s.action), labels.action.c_str());
    gtk_container_remove(GTK_CONTAINER(gtk_widget_get_parent(s.icon)), s.icon);
    s.icon = nullptr;
    GtkWidget* icon = iconImage(labels.icon, kIconSize);
    GtkWidget* row = gtk_bin_get_child(GTK_BIN(s.window));
    gtk_box_pack_start(GTK_BOX(row), icon, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(row), icon, 0);
    gtk_widget_show(icon);
    s.icon = icon;
    s.cancelImage = labels.cancelImage;
    s.cancelPressedImage = labels.cancelPressedImage;
    setCancelImage(s, s.cancelImage);
    gtk_widget_set_tooltip_text(s.cancel, labels.cancelTooltip.c_str());
  }

  void setProgress(std::optional<std::int64_t> percent, const std::string& text) override {
    ProgressState& s = *state_;
    if (!s.window) return;
    for (GtkWidget* w : {s.bar, s.text, s.cancel}) gtk_widget_set_visible(w, percent.has_value());
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(s.bar),
                                  percent ? static_cast<double>(*percent) / 100.0 : 0.0);
    gtk_label_set_text(GTK_LABEL(s.text), text.c_str());
  }

  void show(WebWindow* parent) override {
    ProgressState& s = *state_;
    if (!s.window) return;
    GtkWindow* parentWindow = gtkParentOf(parent);
    gtk_window_set_transient_for(GTK_WINDOW(s.window), parentWindow);
    gtk_window_set_position(GTK_WINDOW(s.window),
                            parentWindow ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    gtk_window_present(GTK_WINDOW(s.window));
  }

  void close() override {
    if (GtkWidget* window = state_->window) gtk_widget_destroy(window);
  }

  bool isClosed() const override { return state_->closed; }

 private:
  std::shared_ptr<ProgressState> state_;
};

}  // namespace

std::unique_ptr<ProgressWindow> GtkCopyWindows::makeProgressWindow() {
  return std::make_unique<GtkProgressWindow>();
}

}  // namespace nb::ui
