// Fetching and opening a screenshot image.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "support/ScriptedHttpServer.h"
#include "support/TempHome.h"
#include "transfer/jobs/DownloadImageForUrlTask.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;
using transfer::DownloadImageForUrlTask;

constexpr const char* kHash = "0123456789abcdef0123456789abcdef01234567";

class DownloadImageForUrlTaskTest : public TempHome {
 protected:
  std::string imagePath(const std::string& ext = "jpg") const {
    return (home() / "shots" / (std::string(kHash) + "." + ext)).string();
  }
  void run(const std::string& url, const std::string& path) {
    DownloadImageForUrlTask(url, path, [this](const std::string& file) {
      opened_.push_back(file);
      return true;
    }).main();
  }
  static std::string contentOf(const std::string& path) {
    return platform::readWholeFile(path).value_or("<none>");
  }

  ScriptedHttpServer server_;
  std::vector<std::string> opened_;
};

TEST_F(DownloadImageForUrlTaskTest, AnImageOnDiskIsOpenedWithoutAnyRequest) {
  fs::create_directories(home() / "shots");
  std::ofstream(imagePath()) << "jpeg bytes";
  server_.on("/img", ScriptedReply::ok("other"));

  run(server_.url("/img"), imagePath());

  EXPECT_EQ(opened_, std::vector<std::string>{imagePath()});
  EXPECT_TRUE(server_.requests().empty());
  EXPECT_EQ(contentOf(imagePath()), "jpeg bytes");
}

TEST_F(DownloadImageForUrlTaskTest, AMissingImageIsFetchedPutInPlaceAndOpened) {
  server_.on("/img", ScriptedReply::ok("png bytes"));
  run(server_.url("/img"), imagePath("png"));
  EXPECT_EQ(contentOf(imagePath("png")), "png bytes");
  EXPECT_EQ(opened_, std::vector<std::string>{imagePath("png")});
  EXPECT_EQ(fs::directory_iterator(home() / "shots")->path(), imagePath("png"));
}

TEST_F(DownloadImageForUrlTaskTest, AFailedFetchLeavesNothingAndOpensNothing) {
  struct Case {
    const char* name;
    ScriptedReply reply;
  };
  ScriptedReply notFound = ScriptedReply::ok("missing");
  notFound.status = 404;
  notFound.reason = "Not Found";
  ScriptedReply dropped;
  dropped.dropBeforeHead = true;
  for (const Case& c : {Case{"404", notFound}, Case{"empty body", ScriptedReply::ok("")},
                        Case{"dropped", dropped}}) {
    SCOPED_TRACE(c.name);
    server_.on("/img", c.reply);
    run(server_.url("/img"), imagePath());
    EXPECT_FALSE(fs::exists(imagePath()));
    EXPECT_TRUE(!fs::exists(home() / "shots") || fs::is_empty(home() / "shots"));
    EXPECT_TRUE(opened_.empty());
  }
}

TEST_F(DownloadImageForUrlTaskTest, OnlyHttpUrlsAndContentHashImageNamesAreUsed) {
  server_.on("/img", ScriptedReply::ok("bytes"));
  fs::create_directories(home() / "shots");
  const std::string secret = (home() / "secret.txt").string();
  std::ofstream(secret) << "secret";

  run("file://" + secret, imagePath());
  run("ftp://127.0.0.1/img", imagePath());
  run(server_.url("/img"), (home() / "shots" / "../notes.jpg").string());
  run(server_.url("/img"), (home() / "shots" / (std::string(kHash) + ".sh")).string());
  run(server_.url("/img"), secret);

  EXPECT_TRUE(server_.requests().empty());
  EXPECT_TRUE(opened_.empty());
  EXPECT_TRUE(fs::is_empty(home() / "shots"));
}

}  // namespace
}  // namespace nb::test
