// Clipboard and screenshot page functions on the real GTK clipboard of the
// shared display: copy, paste of files and pictures, captures through a
// capture program, and the screenshot look-up.

#include <gtk/gtk.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bridge/functions/ClipboardPageFunctions.h"
#include "foundation/json/Json.h"
#include "platform/GObjectPtr.h"
#include "shell/ui/gtk/GtkClipboardAccess.h"
#include "shell/ui/gtk/PortalScreenCapture.h"
#include "support/GtkUiFixture.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

// A selection of this test program's own: test programs run side by side
// on one display, and the desktop's clipboard is shared by all of them.
const std::string& selectionName() {
  static const std::string name = "NB_TEST_CLIPBOARD_" + std::to_string(::getpid());
  return name;
}

GtkClipboard* desktopClipboard() {
  return gtk_clipboard_get(gdk_atom_intern(selectionName().c_str(), FALSE));
}

// A small picture of one colour.
platform::GObjectPtr<GdkPixbuf> picture(guint32 rgba) {
  platform::GObjectPtr<GdkPixbuf> pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 16, 12));
  gdk_pixbuf_fill(pixbuf.get(), rgba);
  return pixbuf;
}

// Offers `uris` as the clipboard's file list, as a file manager does.
void copyFiles(const std::vector<std::string>& uris) {
  static std::vector<std::string> offered;
  offered = uris;
  static const GtkTargetEntry target{const_cast<gchar*>("text/uri-list"), 0, 0};
  gtk_clipboard_set_with_data(
      desktopClipboard(), &target, 1,
      [](GtkClipboard*, GtkSelectionData* data, guint, gpointer) {
        std::vector<gchar*> list;
        for (std::string& uri : offered) list.push_back(uri.data());
        list.push_back(nullptr);
        gtk_selection_data_set_uris(data, list.data());
      },
      nullptr, nullptr);
}

std::vector<std::string> filesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  return names;
}

class ClipboardPageFunctionsTest : public GtkUiTest {
 protected:
  void SetUp() override {
    GtkUiTest::SetUp();
    if (IsSkipped()) return;
    folder_ = makeTempDir("nbshots");
  }
  void TearDown() override {
    pumpMainThread();
    if (!folder_.empty()) fs::remove_all(folder_);
  }

  ui::Clipboard& clipboard() { return clipboard_; }

  std::string paste() {
    std::optional<std::string> answer;
    bridge::pasteFromClipboard(clipboard(), folder_.string(),
                               [&](std::string text) { answer = std::move(text); });
    EXPECT_TRUE(pumpMainThreadUntil([&] { return answer.has_value(); }));
    return answer.value_or("(no answer)");
  }

  // Runs a capture on a worker thread, as the bridge queue does, while the
  // main thread serves it.
  std::string capture(ui::ScreenCapture& capture) {
    std::packaged_task<std::string()> task(
        [&] { return bridge::takeScreenshot(clipboard(), capture, folder_.string()); });
    std::future<std::string> answer = task.get_future();
    std::thread worker(std::move(task));
    EXPECT_TRUE(pumpMainThreadUntil([&] {
      return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }, std::chrono::seconds(60)));
    worker.join();
    return answer.get();
  }

  fs::path folder_;
  ui::GtkClipboardAccess clipboard_{selectionName()};
};

TEST_F(ClipboardPageFunctionsTest, TextAndHtmlCopies) {
  clipboard().setText("第一行 text");
  EXPECT_EQ(clipboard().text(), "第一行 text");

  clipboard().setHtmlOnly("<html><body><b>bold</b></body></html>");
  // The HTML is the only offer: nothing reads as text.
  EXPECT_FALSE(gtk_clipboard_wait_is_text_available(desktopClipboard()));
  GtkSelectionData* data = gtk_clipboard_wait_for_contents(
      desktopClipboard(), gdk_atom_intern_static_string("text/html"));
  ASSERT_NE(data, nullptr);
  gint length = 0;
  const guchar* bytes = gtk_selection_data_get_data_with_length(data, &length);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length)),
            "<html><body><b>bold</b></body></html>");
  gtk_selection_data_free(data);
}

TEST_F(ClipboardPageFunctionsTest, CopiedFilesPasteAsTheirPathsAndWriteNothing) {
  copyFiles({"file:///tmp/a%20b.txt", "file:///tmp/c.png", "https://example.invalid/x"});
  const auto answer = dictionaryFromString(paste());
  ASSERT_TRUE(answer);
  const auto* list = answer->find("list");
  ASSERT_TRUE(list && list->isArray());
  ASSERT_EQ(list->size(), 2u);
  EXPECT_EQ(jsonTextOrEmpty(list->at(0), "path"), "/tmp/a b.txt");
  EXPECT_EQ(jsonTextOrEmpty(list->at(1), "path"), "/tmp/c.png");
  EXPECT_EQ(list->at(0).size(), 1u);
  EXPECT_FALSE(answer->contains("type"));
  EXPECT_TRUE(filesIn(folder_).empty());
}

TEST_F(ClipboardPageFunctionsTest, ThePicturePastedTwiceIsKeptOnce) {
  gtk_clipboard_set_image(desktopClipboard(), picture(0x3366ccff).get());
  const auto first = dictionaryFromString(paste());
  const auto second = dictionaryFromString(paste());
  ASSERT_TRUE(first && second);
  EXPECT_EQ(jsonTextOrEmpty(*first, "type"), "screenshot");
  EXPECT_EQ(JSONString(*first), JSONString(*second));
  const auto* list = first->find("list");
  ASSERT_TRUE(list && list->isArray() && list->size() == 1);
  const std::string hash = jsonTextOrEmpty(list->at(0), "filehash");
  EXPECT_EQ(hash.size(), 40u);
  EXPECT_EQ(jsonTextOrEmpty(list->at(0), "path"), (folder_ / (hash + ".jpg")).string());
  // No time-stamped file is left behind.
  EXPECT_EQ(filesIn(folder_), std::vector<std::string>{hash + ".jpg"});
  GError* raw = nullptr;
  platform::GObjectPtr<GdkPixbuf> kept(
      gdk_pixbuf_new_from_file((folder_ / (hash + ".jpg")).c_str(), &raw));
  platform::GErrorPtr error(raw);
  ASSERT_TRUE(kept);
  EXPECT_EQ(gdk_pixbuf_get_width(kept.get()), 16);
}

TEST_F(ClipboardPageFunctionsTest, NothingToPasteAnswersEmpty) {
  clipboard().setText("only text");
  EXPECT_EQ(paste(), "{}");
  EXPECT_TRUE(filesIn(folder_).empty());
}

TEST_F(ClipboardPageFunctionsTest, CaptureWithoutPortalOrProgramAnswersEmpty) {
  clipboard().setText("kept");
  ui::PortalScreenCapture none({.usePortal = false, .program = {}});
  EXPECT_EQ(capture(none), "{}");
  EXPECT_EQ(clipboard().text(), "kept");
  EXPECT_TRUE(filesIn(folder_).empty());
}

TEST_F(ClipboardPageFunctionsTest, ACancelledCaptureAnswersEmptyAndLeavesTheClipboard) {
  clipboard().setText("kept");
  // A program that ends without writing a picture, as a cancel does.
  ui::PortalScreenCapture cancelled({.usePortal = false, .program = {"true"}});
  EXPECT_EQ(capture(cancelled), "{}");
  EXPECT_EQ(clipboard().text(), "kept");
  EXPECT_TRUE(filesIn(folder_).empty());
}

TEST_F(ClipboardPageFunctionsTest, ACaptureProgramsPictureIsKeptAndOnTheClipboard) {
  const fs::path source = makeTempDir("nbshotsrc") / "shot.png";
  ASSERT_TRUE(gdk_pixbuf_save(picture(0xff8800ff).get(), source.c_str(), "png", nullptr, nullptr));
  ui::PortalScreenCapture program({.usePortal = false, .program = {"cp", source.string(), "%f"}});
  const auto answer = dictionaryFromString(capture(program));
  ASSERT_TRUE(answer);
  const std::string hash = jsonTextOrEmpty(*answer, "filehash");
  EXPECT_EQ(hash.size(), 40u);
  EXPECT_EQ(jsonTextOrEmpty(*answer, "path"), (folder_ / (hash + ".jpg")).string());
  EXPECT_EQ(answer->find("list"), nullptr);
  EXPECT_EQ(filesIn(folder_), std::vector<std::string>{hash + ".jpg"});
  EXPECT_TRUE(gtk_clipboard_wait_is_image_available(desktopClipboard()));
  fs::remove_all(source.parent_path());
}

TEST_F(ClipboardPageFunctionsTest, ScreenshotLookUpAcceptsOnlyHashesAndPictureExtensions) {
  const std::string hash(40, 'a');
  std::ofstream(folder_ / (hash + ".png")) << "png";
  std::ofstream(folder_ / (hash + ".jpg")) << "jpg";
  std::vector<std::string> opened;
  const auto opener = [&](const std::string& path) {
    opened.push_back(path);
    return true;
  };
  const std::string folder = folder_.string();
  struct Case {
    std::string json;
    std::string answer;
  };
  const std::vector<Case> cases = {
      {R"({"filehash":")" + hash + R"(","ext":"png"})", R"({"path":")" + folder + "/" + hash + R"(.png"})"},
      {R"({"filehash":")" + hash + R"(","ext":""})", R"({"path":")" + folder + "/" + hash + R"(.jpg"})"},
      {R"({"filehash":")" + hash + R"("})", R"({"path":")" + folder + "/" + hash + R"(.jpg"})"},
      {R"({"filehash":"../../etc/passwd","ext":"png"})", "{}"},
      {R"({"filehash":")" + std::string(40, 'A') + R"(","ext":"png"})", "{}"},
      {R"({"filehash":")" + hash + R"(","ext":"png/../x"})", "{}"},
      {R"({"filehash":")" + hash + R"(","ext":"txt"})", "{}"},
      {R"(["not an object"])", "{}"},
      {"not json", "{}"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bridge::showScreenshot(c.json, folder, opener), c.answer) << c.json;
  }
  EXPECT_EQ(opened.size(), 3u);
}

}  // namespace
}  // namespace nb::test
