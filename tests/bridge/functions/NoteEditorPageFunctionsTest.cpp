// The note editor's save, change and close, against notes opened through
// the window registry.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "api/server/ServerInfo.h"
#include "bridge/functions/NoteEditorPageFunctions.h"
#include "bridge/functions/PageWorld.h"
#include "bridge/windows/NoteWorkFolders.h"
#include "bridge/windows/WindowRegistry.h"
#include "foundation/util/UtilZip.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

class NoteEditorPagesTest : public PageWorld {
 protected:
  void SetUp() override {
    PageWorld::SetUp();
    const fs::path source = home() / "pkg";
    fs::create_directories(source);
    std::ofstream(source / "index.html") << "old";
    std::ofstream(source / "style.css") << "css";
    note = (home() / "my.note").string();
    ASSERT_TRUE(Util::zip(source.string(), note));
    fs::remove_all(source);
    ASSERT_TRUE(registry->openNote(note, kMountId, "docs/my.note", controller->hwnd()));
    key = bridge::NoteWorkFolders::keyOf(kMountId, "docs/my.note");
    folder = ServerInfo::current()->folders().overrideDir / "nbnote" / key;
  }
  std::string save(const std::string& content, const std::string& fullpath = "") {
    return run("gEditorSave", R"({"mount_id":7,"webpath":"docs/my.note","fullpath":")" +
                                  (fullpath.empty() ? note : fullpath) + R"(","content":")" +
                                  content + R"("})")
        .value_or("");
  }
  void exit() { run("gEditorExit", R"({"mount_id":7,"webpath":"docs/my.note"})"); }
  // The page of the note package as it is on disk now.
  std::string savedPage() {
    const fs::path out = home() / "unpacked";
    fs::remove_all(out);
    EXPECT_TRUE(Util::unzip(note, out.string()));
    std::ifstream in(out / "index.html");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static std::string code(const std::string& answer) {
    return std::to_string(dictionaryFromString(answer).value()["error"].asInt64());
  }

  std::shared_ptr<bridge::WindowRegistry> registry = std::make_shared<bridge::WindowRegistry>();
  std::string note;
  std::string key;
  fs::path folder;
};

TEST_F(NoteEditorPagesTest, ASaveWritesThePageIntoTheNotesOwnFileOnly) {
  EXPECT_EQ(code(save("new")), "0");
  EXPECT_EQ(savedPage(), "new");
  EXPECT_TRUE(fs::exists(folder / "style.css"));
  const std::string elsewhere = (home() / "elsewhere.zip").string();
  EXPECT_EQ(code(save("x", elsewhere)), "1");
  EXPECT_FALSE(fs::exists(elsewhere)) << "a page names no other file to write";
  EXPECT_EQ(run("gEditorSave", "[]").value_or(""), "{}");
}

TEST_F(NoteEditorPagesTest, ACloseRightAfterASaveWaitsForItAndALaterSaveFails) {
  // The save's main-thread entry ran; its body has not yet.
  bridge::PageCall call;
  call.args = {R"({"mount_id":7,"webpath":"docs/my.note"})"};
  bridge::noteSaveQueued(call);
  exit();
  EXPECT_TRUE(fs::exists(folder)) << "the queued save still needs the folder";
  EXPECT_EQ(code(save("last words")), "0");
  EXPECT_EQ(savedPage(), "last words");
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(code(save("too late")), "1");
  EXPECT_EQ(savedPage(), "last words");
}

TEST_F(NoteEditorPagesTest, ACloseWithoutASaveDeletesTheFolderAtOnce) {
  exit();
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(savedPage(), "old");
}

}  // namespace
}  // namespace nb::test
