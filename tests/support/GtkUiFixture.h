#pragma once
// The real user interface for the window tests: GTK on the suite's shared
// display, one web context for the whole test program. Tests skip where
// there is no display.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <memory>

#include "shell/ui/gtk/GtkUi.h"

namespace nb::test {

class GtkUiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;

  // The process's one GtkUi; null without a display.
  static std::shared_ptr<ui::GtkUi>& sharedUi();
};

// The last visible dialog among the program's top-level windows; null when
// none is up.
GtkWidget* visibleDialog();

}  // namespace nb::test
