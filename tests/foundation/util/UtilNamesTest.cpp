#include <gtest/gtest.h>

#include "foundation/util/UtilNames.h"

namespace nb::Util {
namespace {

TEST(UtilEmoji, ClustersJudgedByTheFixedRanges) {
  struct Case {
    std::u16string text;
    bool emoji;
  };
  const Case cases[] = {
      {u"\U0001F600", true},           // grinning face
      {u"1\u20E3", true},              // keycap one
      {u"#\u20E3", true},
      {u"\u2764\uFE0F", false},        // two units, the second not a keycap
      {u"\u2764", true},
      {std::u16string(1, char16_t(0xD83D)), false},  // unpaired high surrogate
      {std::u16string{u'a', char16_t(0xD83D), u'b'}, false},
      {u"\U0001D000", true},           // lower bound of the astral range
      {u"\U0001F77F", true},           // upper bound
      {u"\U0001CFFF", false},
      {u"\U0001F780", false},
      {u"\u2100", true}, {u"\u27FF", true}, {u"\u20FF", false}, {u"\u2800", false},
      {u"\u2B05", true}, {u"\u2B07", true}, {u"\u2B08", false},
      {u"\u2934", true}, {u"\u2935", true}, {u"\u2936", false},
      {u"\u3297", true}, {u"\u3299", true}, {u"\u3296", false},
      {u"\u00A9", true}, {u"\u00AE", true}, {u"\u2B1B", true}, {u"\u2B1C", true},
      {u"\u2B50", true}, {u"\u2B55", true}, {u"\u3030", true}, {u"\u303D", true},
      {u"\u00AA", false}, {u"\u2B51", false},
      {u"plain 文件名.txt", false},
      {u"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stringContainsEmoji(c.text), c.emoji)
        << "first unit " << std::hex << (c.text.empty() ? 0 : int(c.text[0]));
  }
  EXPECT_TRUE(stringContainsEmoji("name \xF0\x9F\x98\x80.txt"));
  EXPECT_FALSE(stringContainsEmoji("name.txt"));
}

TEST(UtilEmoji, EachEmojiClusterBecomesOneUnderscore) {
  EXPECT_EQ(changeContainsEmoji("a\xF0\x9F\x98\x80" "b"), "a_b");
  EXPECT_EQ(changeContainsEmoji("\xF0\x9F\x98\x80\xF0\x9F\x98\x81"), "__");
  EXPECT_EQ(changeContainsEmoji("1\xE2\x83\xA3x"), "_x");
  EXPECT_EQ(changeContainsEmoji("\xE2\x9D\xA4\xEF\xB8\x8F"), "\xE2\x9D\xA4\xEF\xB8\x8F");
  EXPECT_EQ(changeContainsEmoji("文件"), "文件");
}

TEST(UtilWindowsNames, ReservedCharactersTrailingDotAndEmoji) {
  struct Case {
    const char* name;
    bool error;
    const char* repaired;
  };
  const Case cases[] = {
      {"a<b>c.", true, "a_b_c_"},
      {"x|y?z:w", true, "x_y_z_w"},
      {"q\\\"*", true, "q___"},
      {"tab\there\nlf\rcr", true, "tab_here_lf_cr"},
      {"two..", true, "two._"},
      {"smile\xF0\x9F\x98\x80", true, "smile_"},
      {"fine name.txt", false, "fine name.txt"},
      {".hidden", false, ".hidden"},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isWindowsErrorName(c.name), c.error) << c.name;
    EXPECT_EQ(changeWindwosErrorName(c.name), c.repaired) << c.name;
  }
}

TEST(UtilWindowsNames, IllegalCharactersIncludeTheSlash) {
  for (const char* bad : {"a/b", "a\\b", "\"", "*", ":", "<", ">", "?", "|"}) {
    EXPECT_TRUE(illegalInWindows(bad)) << bad;
  }
  EXPECT_FALSE(illegalInWindows("a.b c\td"));
}

TEST(UtilSpaces, LastComponentTrimmed) {
  struct Case {
    const char* path;
    bool space;
    const char* replaced;
  };
  const Case cases[] = {
      {"/x/y/  a b  ", true, "/x/y/a b"},
      {"/x/y/   ", true, "/x/y/_"},
      {"/x/ y", true, "/x/y"},
      {"/x/y ", true, "/x/y"},
      {"/x/y", false, "/x/y"},
      {"/x/ a/b", false, "/x/ a/b"},
      {"  a  ", true, "a"},
      {"/ a ", true, "/a"},
      {"rel/ a", true, "rel/a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(findspace(c.path), c.space) << '[' << c.path << ']';
    EXPECT_EQ(replacespace(c.path), c.replaced) << '[' << c.path << ']';
  }
}

}  // namespace
}  // namespace nb::Util
