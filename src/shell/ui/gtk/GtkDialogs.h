#pragma once
// ui::Dialogs on GTK message dialogs. A window-modal alert joins its
// parent's window group, so it blocks that window only; an application-
// modal one makes every other window of the program insensitive while it
// is up.

#include "shell/ui/Dialogs.h"

namespace nb::ui {

class GtkDialogs final : public Dialogs {
 public:
  void showAlert(const Alert& alert, WebWindow* parent, Modality modality,
                 std::function<void(int index)> done) override;
  int runAlert(const Alert& alert, WebWindow* parent, Modality modality) override;
  std::string chooseImage(WebWindow* parent) override;
  void showAbout(const AboutBox& about, std::function<void()> linkClicked) override;
  void chooseFolder(const FolderChooser& chooser, WebWindow* parent,
                    std::function<void(std::optional<std::string>)> done) override;
  void chooseFiles(const FilesChooser& chooser, WebWindow* parent,
                   std::function<void(std::optional<std::vector<std::string>>)> done) override;
};

}  // namespace nb::ui
