// The real copy windows on the shared display: the name-conflict question's
// answers with and without "apply to all", and the progress window's bar
// and close.

#include <gtk/gtk.h>

#include <functional>
#include <optional>

#include "shell/ui/gtk/GtkCopyWindows.h"
#include "support/GtkUiFixture.h"
#include "support/PumpMainThread.h"

namespace nb::test {
namespace {

// The first widget below `root` that `match` accepts.
GtkWidget* findWidget(GtkWidget* root, const std::function<bool(GtkWidget*)>& match) {
  if (match(root)) return root;
  if (!GTK_IS_CONTAINER(root)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(root));
  GtkWidget* found = nullptr;
  for (GList* node = children; node && !found; node = node->next) {
    found = findWidget(GTK_WIDGET(node->data), match);
  }
  g_list_free(children);
  return found;
}

class GtkCopyWindowsTest : public GtkUiTest {
 protected:
  void TearDown() override { pumpMainThread(); }

  ui::ReplaceQuestion question(bool applyToAll) {
    ui::ReplaceQuestion q;
    q.message = "该位置已经存在名称为［a.txt］的项目，您要使用正在移动的项目替换它吗？";
    q.icon = "folder";
    q.showApplyToAll = applyToAll;
    q.applyToAllTitle = "全部应用";
    q.keepBothTitle = "保留两者";
    q.stopTitle = "停止";
    q.replaceTitle = "替换";
    return q;
  }
  // Asks, lets `act` answer the dialog, and returns the answer.
  std::optional<ui::ReplaceAnswer> ask(bool applyToAll,
                                       const std::function<void(GtkWidget*)>& act) {
    std::optional<ui::ReplaceAnswer> answer;
    windows_.askReplace(question(applyToAll), nullptr,
                        [&answer](ui::ReplaceAnswer given) { answer = given; });
    GtkWidget* dialog = nullptr;
    if (!pumpMainThreadUntil([&] { return (dialog = visibleDialog()) != nullptr; })) return {};
    act(dialog);
    pumpMainThreadUntil([&] { return answer.has_value(); }, std::chrono::seconds(10));
    if (!answer) gtk_widget_destroy(dialog);
    pumpMainThread();
    return answer;
  }
  static GtkWidget* checkBox(GtkWidget* dialog) {
    return findWidget(dialog, [](GtkWidget* w) { return GTK_IS_CHECK_BUTTON(w); });
  }

  ui::GtkCopyWindows windows_;
};

TEST_F(GtkCopyWindowsTest, TheQuestionAnswersItsButtonAndTheBox) {
  const auto all = ask(true, [](GtkWidget* dialog) {
    GtkWidget* box = checkBox(dialog);
    ASSERT_TRUE(box && gtk_widget_get_visible(box));
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(box), TRUE);
    gtk_dialog_response(GTK_DIALOG(dialog), 0);
  });
  ASSERT_TRUE(all);
  EXPECT_EQ(all->button, 0);
  EXPECT_TRUE(all->applyToAll);

  const auto single = ask(false, [](GtkWidget* dialog) {
    GtkWidget* box = checkBox(dialog);
    EXPECT_TRUE(box && !gtk_widget_get_visible(box)) << "one item: no box";
    gtk_dialog_response(GTK_DIALOG(dialog), 2);
  });
  ASSERT_TRUE(single);
  EXPECT_EQ(single->button, 2);
  EXPECT_FALSE(single->applyToAll);

  const auto closed = ask(true, [](GtkWidget* dialog) { gtk_window_close(GTK_WINDOW(dialog)); });
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->button, 1) << "closing the question stops";
}

TEST_F(GtkCopyWindowsTest, TheProgressWindowShowsItsBarOnlyWithAValueAndClosesOnce) {
  std::unique_ptr<ui::ProgressWindow> window = windows_.makeProgressWindow();
  int closed = 0;
  window->setHandlers({nullptr, [&closed] { ++closed; }});
  window->setLabels({"复制中", "正在拷贝［a.txt］", "", "", "", "取消复制"});
  window->setProgress(std::nullopt, "");
  window->show(nullptr);
  pumpMainThread();
  EXPECT_FALSE(window->isClosed());
  window->setProgress(25, "25 %");
  window->close();
  window->close();
  pumpMainThread();
  EXPECT_TRUE(window->isClosed());
  EXPECT_EQ(closed, 1);
  window.reset();
}

}  // namespace
}  // namespace nb::test
