// Real alerts on the shared display: answers by button, by Escape, and a
// sheet that belongs to its window.

#include <gdk/gdkkeysyms.h>

#include <filesystem>

#include "support/GtkUiFixture.h"
#include "shell/ui/gtk/GtkDialogs.h"
#include "shell/ui/gtk/GtkWebWindow.h"
#include "support/PumpMainThread.h"

namespace nb::test {
namespace {

void pressEscape(GtkWidget* dialog) {
  GdkWindow* window = gtk_widget_get_window(dialog);
  gdk_test_simulate_key(window, -1, -1, GDK_KEY_Escape, GdkModifierType(0), GDK_KEY_PRESS);
  gdk_test_simulate_key(window, -1, -1, GDK_KEY_Escape, GdkModifierType(0), GDK_KEY_RELEASE);
}

class GtkDialogsTest : public GtkUiTest {
 protected:
  void SetUp() override {
    GtkUiTest::SetUp();
    if (IsSkipped()) return;
    window_ = sharedUi()->makeWebWindow({});
    window_->show();
    alert_.message = "温馨提示";
    alert_.informative = "是否确定退出?";
    alert_.buttons = {"确定", "取消"};
  }
  void TearDown() override {
    if (window_) window_->close();
    pumpMainThread();
  }

  std::shared_ptr<ui::WebWindow> window_;
  ui::Alert alert_;
};

TEST_F(GtkDialogsTest, ButtonAndEscapeAnswers) {
  struct Case {
    const char* name;
    std::function<void(GtkWidget*)> act;
    int index;
  };
  const std::vector<Case> cases = {
      {"first button", [](GtkWidget* d) { gtk_dialog_response(GTK_DIALOG(d), 0); }, 0},
      {"Escape", pressEscape, 1},
      {"window closed", [](GtkWidget* d) { gtk_window_close(GTK_WINDOW(d)); }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> answers;
    sharedUi()->dialogs().showAlert(alert_, window_.get(), ui::Modality::Window,
                                    [&answers](int index) { answers.push_back(index); });
    GtkWidget* dialog = nullptr;
    ASSERT_TRUE(pumpMainThreadUntil([&] { return (dialog = visibleDialog()) != nullptr; }));
    c.act(dialog);
    const bool answered =
        pumpMainThreadUntil([&] { return !answers.empty(); }, std::chrono::seconds(10));
    if (!answered) gtk_widget_destroy(dialog);  // its answer must not outlive `answers`
    EXPECT_TRUE(answered) << "no answer from the dialog itself";
    pumpMainThread();
    EXPECT_EQ(answers, (std::vector<int>{c.index})) << "answered exactly once";
    EXPECT_EQ(visibleDialog(), nullptr);
  }
}

TEST_F(GtkDialogsTest, SheetJoinsItsWindowsGroupAndRunWaits) {
  GtkWindow* parent = static_cast<ui::GtkWebWindow*>(window_.get())->gtkWindow();
  g_timeout_add(
      50,
      [](gpointer data) -> gboolean {
        GtkWidget* dialog = visibleDialog();
        if (!dialog) return G_SOURCE_CONTINUE;
        auto* group = static_cast<GtkWindowGroup*>(data);
        // Modal inside the parent's group only: other windows keep working.
        EXPECT_EQ(gtk_window_get_group(GTK_WINDOW(dialog)), group);
        gtk_dialog_response(GTK_DIALOG(dialog), 1);
        return G_SOURCE_REMOVE;
      },
      gtk_window_get_group(parent));
  EXPECT_EQ(sharedUi()->dialogs().runAlert(alert_, window_.get(), ui::Modality::Window), 1);
  pumpMainThread();
  EXPECT_EQ(visibleDialog(), nullptr) << "no sheet is left";
}

TEST_F(GtkDialogsTest, ApplicationModalBlocksOtherWindowsUntilAnswered) {
  std::optional<int> answer;
  sharedUi()->dialogs().showAlert(alert_, nullptr, ui::Modality::Application,
                                  [&answer](int index) { answer = index; });
  GtkWidget* parent = GTK_WIDGET(static_cast<ui::GtkWebWindow*>(window_.get())->gtkWindow());
  EXPECT_FALSE(gtk_widget_get_sensitive(parent));
  GtkWidget* dialog = visibleDialog();
  ASSERT_NE(dialog, nullptr);
  gtk_dialog_response(GTK_DIALOG(dialog), 0);
  pumpMainThread();
  EXPECT_EQ(answer, 0);
  EXPECT_TRUE(gtk_widget_get_sensitive(parent));
}

TEST_F(GtkDialogsTest, FolderChooserAnswersTheFolderOrNothing) {
  const std::string start = g_get_tmp_dir();
  struct Case {
    const char* name;
    int response;
    bool chosen;
  };
  for (const Case& c : {Case{"chosen", GTK_RESPONSE_ACCEPT, true},
                        Case{"cancelled", GTK_RESPONSE_CANCEL, false}}) {
    SCOPED_TRACE(c.name);
    std::vector<std::optional<std::string>> answers;
    sharedUi()->dialogs().chooseFolder({.title = "Pick", .acceptLabel = "Take", .startFolder = start},
                                       window_.get(),
                                       [&answers](std::optional<std::string> folder) {
                                         answers.push_back(std::move(folder));
                                       });
    GtkWidget* dialog = nullptr;
    ASSERT_TRUE(pumpMainThreadUntil([&] { return (dialog = visibleDialog()) != nullptr; }));
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dialog)), "Pick");
    // The chooser shows its starting folder a moment after it appears.
    ASSERT_TRUE(pumpMainThreadUntil([&] {
      gchar* shown = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
      const bool ready = shown != nullptr;
      g_free(shown);
      return ready;
    }));
    gtk_dialog_response(GTK_DIALOG(dialog), c.response);
    pumpMainThread();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].has_value(), c.chosen);
    if (c.chosen && answers[0]) {
      EXPECT_TRUE(std::filesystem::equivalent(*answers[0], start)) << *answers[0];
    }
    EXPECT_EQ(visibleDialog(), nullptr);
  }
}

TEST_F(GtkDialogsTest, FilesChooserTogglesToFoldersAndAnswersNothingWhenCancelled) {
  std::vector<std::optional<std::vector<std::string>>> answers;
  sharedUi()->dialogs().chooseFiles({.title = "Add", .startFolder = g_get_tmp_dir()},
                                    window_.get(),
                                    [&answers](std::optional<std::vector<std::string>> paths) {
                                      answers.push_back(std::move(paths));
                                    });
  GtkWidget* dialog = nullptr;
  ASSERT_TRUE(pumpMainThreadUntil([&] { return (dialog = visibleDialog()) != nullptr; }));
  auto* chooser = GTK_FILE_CHOOSER(dialog);
  EXPECT_TRUE(gtk_file_chooser_get_select_multiple(chooser));
  EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_OPEN);
  GtkWidget* toggle = gtk_file_chooser_get_extra_widget(chooser);
  ASSERT_TRUE(GTK_IS_TOGGLE_BUTTON(toggle));
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(toggle), TRUE);
  EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
  pumpMainThread();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_FALSE(answers[0].has_value());
  EXPECT_EQ(visibleDialog(), nullptr);
}

}  // namespace
}  // namespace nb::test
