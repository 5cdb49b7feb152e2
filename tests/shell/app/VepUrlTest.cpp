// "vep://" links: decoding the command line and the mount request.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "foundation/text/StringHelpers.h"
#include "shell/app/AppDelegate.h"
#include "shell/app/VepUrl.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

std::string vep(const std::string& line) { return std::string("vep://") + *base64Encoded(line); }

using Params = std::map<std::string, std::string>;

struct DecodeCase {
  const char* name;
  std::string url;
  std::optional<Params> params;
  std::optional<std::string> command;  // "untouched" stands for the caller's value
};

TEST(VepUrlTest, DecodesTheCommandLine) {
  const std::string untouched = "untouched";
  const DecodeCase cases[] = {
      {"mount", vep("mount?id=12&path=%2Fa%2Fb.txt"),
       Params{{"id", "12"}, {"path", "%2Fa%2Fb.txt"}}, "mount"},
      {"value keeps its equals signs", vep("mount?path=YWI=&x=a=b=c"),
       Params{{"path", "YWI="}, {"x", "a=b=c"}}, "mount"},
      {"later key wins, pieces without = skipped", vep("mount?id=1&flag&id=2&"),
       Params{{"id", "2"}}, "mount"},
      {"no pairs", vep("mount?"), Params{}, "mount"},
      {"two question marks", vep("mount?id=1?x=2"), std::nullopt, std::nullopt},
      {"no question mark", vep("mount"), std::nullopt, std::nullopt},
      {"no prefix", *base64Encoded("mount?id=1"), std::nullopt, untouched},
      {"other scheme", "http://" + *base64Encoded("mount?id=1"), std::nullopt, untouched},
      {"bad Base64 (not text)", "vep://" + *base64Encoded("\xff\xfe?id=1"), std::nullopt,
       std::nullopt},
      {"nothing after the prefix", "vep://", std::nullopt, std::nullopt},
  };
  for (const DecodeCase& c : cases) {
    std::optional<std::string> command = untouched;
    EXPECT_EQ(urlDecoded(c.url, command), c.params) << c.name;
    EXPECT_EQ(command, c.command) << c.name;
  }
}

TEST(VepUrlTest, MountRequestsCarryTheLibraryAndTheDecodedPath) {
  const auto mount = vepMountRequest(vep("mount?id=12&path=%2Fa%2Fb%20c.txt"));
  ASSERT_TRUE(mount);
  EXPECT_EQ(mount->mountId, 12);
  EXPECT_EQ(mount->webpath, "/a/b c.txt");

  const auto large = vepMountRequest(vep("mount?id=5000000000&path=%2F"));
  ASSERT_TRUE(large);
  EXPECT_EQ(large->mountId, 5000000000);

  const auto noId = vepMountRequest(vep("mount?path=%2Fx"));
  ASSERT_TRUE(noId);
  EXPECT_EQ(noId->mountId, 0);

  EXPECT_FALSE(vepMountRequest(vep("open?id=12&path=%2Fa")));
  EXPECT_FALSE(vepMountRequest(vep("mount?id=12&path=%zz")));
  EXPECT_FALSE(vepMountRequest("vep://"));
}

class VepUrlOpenTest : public TempHome {
 protected:
  ScopedFakeUi ui;
};

TEST_F(VepUrlOpenTest, ALibraryNotSyncedHereOnlyNotifiesAndOtherCommandsDoNothing) {
  pumpMainThread();
  auto app = std::make_shared<AppDelegate>();
  app->openUrlByVep(vep("open?id=12&path=a"));
  app->openUrlByVep("vep://");
  pumpMainThread();
  EXPECT_TRUE(ui->notifier().shown().empty());

  app->openUrlByVep(vep("mount?id=12&path=%2Fa%2Fb.txt"));
  pumpMainThread();
  ASSERT_EQ(ui->notifier().shown().size(), 1u);
  // Shown as it is, whatever the language.
  EXPECT_EQ(ui->notifier().shown()[0].body, "您没有访问权限");
  EXPECT_TRUE(ui->windows().empty());
}

}  // namespace
}  // namespace nb::test
