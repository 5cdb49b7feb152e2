#pragma once
// ui::Clipboard on the GTK clipboard (the CLIPBOARD selection).

#include <string>

#include "shell/ui/Clipboard.h"

typedef struct _GtkClipboard GtkClipboard;

namespace nb::ui {

class GtkClipboardAccess final : public Clipboard {
 public:
  // The desktop's CLIPBOARD selection.
  GtkClipboardAccess() = default;
  // Another selection, by name: tests sharing one display keep apart.
  explicit GtkClipboardAccess(std::string selection) : selection_(std::move(selection)) {}

  void setText(const std::string& text) override;
  void setHtml(const std::string& html, const std::string& plainText) override;
  // Waits for the owner in a nested main loop: hold no lock across it.
  std::optional<std::string> text() override;
  void setHtmlOnly(const std::string& html) override;
  bool setImageFromFile(const std::string& path) override;
  void requestFiles(std::function<void(std::vector<std::string> paths)> done) override;
  void requestImageAsJpeg(const std::string& path, std::function<void(bool written)> done) override;

 private:
  GtkClipboard* clipboard() const;

  const std::string selection_;  // "": CLIPBOARD
};

}  // namespace nb::ui
