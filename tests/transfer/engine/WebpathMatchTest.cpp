// Which running transfers a library path names.

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "transfer/engine/WebpathMatch.h"

namespace nb::test {
namespace {

TEST(WebpathMatchTest, AtOrUnderKeepsLetterCase) {
  struct Case {
    const char* webpath;
    const char* path;
    bool match;
  };
  const Case cases[] = {
      {"a/b", "a/b", true},  {"a/b/c", "a/b", true}, {"a/bc", "a/b", false},
      {"A/b", "a/b", false}, {"a", "a/b", false},    {"x", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.webpath) + " in " + c.path);
    EXPECT_EQ(isAtOrUnder(c.webpath, c.path), c.match);
  }
}

TEST(WebpathMatchTest, RenameIgnoresLetterCase) {
  struct Case {
    const char* webpath;
    std::optional<std::string> renamed;
  };
  const Case cases[] = {
      {"a/c", "X/c"}, {"A", "X"}, {"ab", std::nullopt}, {"b/a", std::nullopt},
      {"Ä/c", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.webpath);
    EXPECT_EQ(renamedWebpath(c.webpath, "A", "X"), c.renamed);
  }
  EXPECT_EQ(renamedWebpath("ÄB/f", "äb", "n"), "n/f");  // beyond ASCII
}

}  // namespace
}  // namespace nb::test
