#include "foundation/util/UtilPanels.h"

#include <chrono>
#include <filesystem>
#include <fstream>

#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class UtilPanelsTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    if (gtk_init_check(nullptr, nullptr) == FALSE) {
      GTEST_SKIP() << "no display: run under scripts/test (Xvfb) to exercise the panels";
    }
  }

  // The chooser loads its folder in the background, later under load; wait
  // (within a generous safety limit) until it reports `expected`.
  static std::string currentFolder(GtkWidget* panel, const std::string& expected) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::string out;
    do {
      while (gtk_events_pending() != FALSE) {
        gtk_main_iteration();
      }
      gchar* folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(panel));
      out = folder != nullptr ? folder : "";
      g_free(folder);
      if (out == expected) break;
      g_usleep(10'000);
    } while (std::chrono::steady_clock::now() < limit);
    return out;
  }

  // Answers the next modal dialog with `response` once it is shown.
  static void respondSoon(int response) {
    static int pending;
    pending = response;
    g_timeout_add(
        50,
        [](gpointer) -> gboolean {
          GList* windows = gtk_window_list_toplevels();
          for (GList* it = windows; it != nullptr; it = it->next) {
            if (GTK_IS_DIALOG(it->data) && gtk_widget_get_visible(GTK_WIDGET(it->data))) {
              gtk_dialog_response(GTK_DIALOG(it->data), pending);
            }
          }
          g_list_free(windows);
          return G_SOURCE_REMOVE;
        },
        nullptr);
  }
};

TEST_F(UtilPanelsTest, ChoosersAreConfiguredAsAsked) {
  fs::create_directories(home() / "start");
  const auto files = Util::OpenPanelAddFiles(nullptr, (home() / "start").string());
  auto* chooser = GTK_FILE_CHOOSER(files.get());
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(files.get())), "选择文件");
  EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_OPEN);
  EXPECT_TRUE(gtk_file_chooser_get_select_multiple(chooser));
  EXPECT_TRUE(gtk_file_chooser_get_create_folders(chooser));
  EXPECT_EQ(currentFolder(files.get(), (home() / "start").string()), (home() / "start").string());

  const auto path = Util::OpenPanelSelectPath(nullptr, "");
  chooser = GTK_FILE_CHOOSER(path.get());
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(path.get())), "选择路径");
  EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
  EXPECT_FALSE(gtk_file_chooser_get_select_multiple(chooser));
  EXPECT_EQ(currentFolder(path.get(), home().string()), home().string());
}

TEST_F(UtilPanelsTest, CancelledModalPanelsAnswerNothing) {
  respondSoon(GTK_RESPONSE_CANCEL);
  EXPECT_EQ(Util::OpenPanelSelectImage(nullptr, home().string()), "");
  std::ofstream(home() / "a.txt") << "x";
  respondSoon(GTK_RESPONSE_CANCEL);
  EXPECT_FALSE(Util::chooseApplicationAndOpenFile(nullptr, (home() / "a.txt").string()));
}

TEST_F(UtilPanelsTest, WindowOrigin) {
  const auto centred = Util::getWindowDisplayOriginPoint(800, 600, 1440, 900);
  EXPECT_DOUBLE_EQ(centred.x, 320);
  EXPECT_DOUBLE_EQ(centred.y, 800);
  const auto full = Util::getWindowDisplayOriginPoint(1440, 900, 1440, 900);
  EXPECT_DOUBLE_EQ(full.x, 0);
  EXPECT_DOUBLE_EQ(full.y, 900);
  // On the test display (1280x1024 under scripts/test) the same rule holds.
  const auto onScreen = Util::getWindowDisplayOriginPoint(1280, 1024);
  GdkRectangle frame{};
  gdk_monitor_get_geometry(gdk_display_get_monitor(gdk_display_get_default(), 0), &frame);
  const auto expected = Util::getWindowDisplayOriginPoint(1280, 1024, frame.width, frame.height);
  EXPECT_DOUBLE_EQ(onScreen.x, expected.x);
  EXPECT_DOUBLE_EQ(onScreen.y, expected.y);
}

}  // namespace
}  // namespace nb
