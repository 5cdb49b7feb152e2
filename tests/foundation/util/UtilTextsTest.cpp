#include "foundation/util/UtilTexts.h"

#include <gtest/gtest.h>

namespace nb {
namespace {

TEST(UtilTextsTest, SpeedTexts) {
  const struct {
    uint64_t speed;
    const char* text;
  } cases[] = {
      {0, "0.00 K/S"},           {1023, "1.00 K/S"},
      {1048576, "1024.00 K/S"},  {1048577, "1.00 M/S"},
      {5242880, "5.00 M/S"},     {UINT64_MAX, "17592186044416.00 M/S"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Util::GetSpeedString(c.speed), c.text) << c.speed;
  }
}

TEST(UtilTextsTest, SizeLimitIsExclusive) {
  EXPECT_FALSE(Util::filesizeoverlimit(0));
  EXPECT_FALSE(Util::filesizeoverlimit(524288000));
  EXPECT_TRUE(Util::filesizeoverlimit(524288001));
}

}  // namespace
}  // namespace nb
