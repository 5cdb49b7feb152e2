// The page-function table and the page script made from it.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "bridge/script/ClientScript.h"
#include "bridge/script/PageFunctions.h"
#include "bridge/script/TrustedOrigins.h"

namespace nb::bridge {
namespace {

TEST(PageFunctionsTest, TableHoldsEveryFunctionOnceWithItsThreadAndShape) {
  std::set<std::string_view> names;
  std::map<Shape, int> shapes;
  int queued = 0;
  for (const PageFunction& f : pageFunctions()) {
    EXPECT_TRUE(names.insert(f.name).second) << f.name;
    ++shapes[f.shape];
    if (f.thread == Thread::Queue) ++queued;
  }
  EXPECT_EQ(names.size(), 156u);
  EXPECT_EQ(queued, 35);
  EXPECT_EQ(shapes[Shape::JsonCallback], 102);
  EXPECT_EQ(shapes[Shape::Json], 33);
  EXPECT_EQ(shapes[Shape::None], 16);
  EXPECT_EQ(shapes[Shape::CommandJsonCallback], 1);
  EXPECT_EQ(shapes[Shape::JsonEventCallback], 2);
  EXPECT_EQ(shapes[Shape::TwoTexts], 2);
  EXPECT_EQ(findPageFunction("gSetUserInfo")->shape, Shape::Json);
  EXPECT_EQ(findPageFunction("gSetUserInfo")->thread, Thread::Queue);
  EXPECT_TRUE(findPageFunction("gLoginByKey")->returnsTrue);
  EXPECT_TRUE(findPageFunction("gGetUIPath")->returnsTrue);
  EXPECT_EQ(findPageFunction("checkLogin"), nullptr);
}

TEST(PageFunctionsTest, ScriptCarriesTheTokenAndRefusesAMalformedOne) {
  const std::string script = clientScript("abc123");
  EXPECT_NE(script.find("\"abc123\""), std::string::npos);
  EXPECT_NE(script.find("[\"gZipSyncDb\",0,0,0,0]"), std::string::npos);
  EXPECT_NE(script.find("[\"gChangeUpload\",2,1,0,1]"), std::string::npos);
  for (const char* bad : {"", "a\"b", "x;alert(1)", "a b"}) EXPECT_EQ(clientScript(bad), "") << bad;
}

TEST(TrustedOriginsTest, OnlyTheUiFoldersAndTheWebHostAreTrusted) {
  const TrustedOrigins origins({"/opt/nb/UI/", "/home/u/.local/share/nb/UI"},
                               {"https://web.example.test"});
  struct Case {
    const char* uri;
    bool trusted;
  };
  const Case cases[] = {
      {"file:///opt/nb/UI/index.html#/login", true},
      {"file:///opt/nb/UI/sub/page.html?x=1", true},
      {"file:///home/u/.local/share/nb/UI/index.html", true},
      {"file:///opt/nb/UI/../secret.html", false},
      {"file:///opt/nb/UIx/index.html", false},
      {"file:///opt/nb/UI", false},
      {"file:///tmp/index.html", false},
      {"https://web.example.test/app", true},
      {"https://WEB.example.test:443/app", true},
      {"http://web.example.test/app", false},
      {"https://web.example.test:8443/app", false},
      {"https://web.example.test.evil.test/", false},
      {"https://user@web.example.test/", false},
      {"about:blank", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(origins.trusts(c.uri), c.trusted) << c.uri;
  const std::vector<std::string> patterns = origins.urlPatterns();
  EXPECT_EQ(patterns, (std::vector<std::string>{"file:///opt/nb/UI/*",
                                                "file:///home/u/.local/share/nb/UI/*",
                                                "https://web.example.test/*"}));
  // A bare host stands for both schemes.
  const TrustedOrigins bare({}, {"web.example.test"});
  EXPECT_TRUE(bare.trusts("http://web.example.test/"));
  EXPECT_TRUE(bare.trusts("https://web.example.test/"));
}

}  // namespace
}  // namespace nb::bridge
