#include "support/GtkUiFixture.h"

#include <gtk/gtk.h>

#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb::test {

std::shared_ptr<ui::GtkUi>& GtkUiTest::sharedUi() {
  // Kept for the process: the web context's helper processes outlive a
  // single test.
  static auto* ui = new std::shared_ptr<ui::GtkUi>();
  return *ui;
}

void GtkUiTest::SetUpTestSuite() {
  pumpMainThread();  // this thread is the main thread
  // Simulated input is sent as core X events, which GDK reads only
  // without the XInput 2 device manager.
  g_setenv("GDK_CORE_DEVICE_EVENTS", "1", TRUE);
  if (!sharedUi() && gtk_init_check(nullptr, nullptr)) {
    sharedUi() = ui::GtkUi::create({makeTempDir("nbwebkit")});
  }
}

void GtkUiTest::SetUp() {
  if (!sharedUi()) GTEST_SKIP() << "no display: run under Xvfb to exercise the windows";
}

GtkWidget* visibleDialog() {
  GtkWidget* found = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* node = windows; node; node = node->next) {
    if (GTK_IS_DIALOG(node->data) && gtk_widget_get_visible(GTK_WIDGET(node->data))) {
      found = GTK_WIDGET(node->data);
    }
  }
  g_list_free(windows);
  return found;
}

}  // namespace nb::test
