#pragma once
// ui::CopyWindows on GTK: the name-conflict question is a dialog modal for
// its parent's window group (the other windows stay usable); the progress
// window is a small plain window kept above its parent.

#include "shell/ui/CopyWindows.h"

namespace nb::ui {

class GtkCopyWindows final : public CopyWindows {
 public:
  void askReplace(const ReplaceQuestion& question, WebWindow* parent,
                  std::function<void(ReplaceAnswer)> done) override;
  ReplaceAnswer runReplace(const ReplaceQuestion& question, WebWindow* parent) override;
  std::unique_ptr<ProgressWindow> makeProgressWindow() override;
};

}  // namespace nb::ui
