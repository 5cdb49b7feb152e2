#include "transfer/ranges/DataLocator.h"

#include <gtest/gtest.h>

#include <bitset>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace nb {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

DataLocator fromPairs(const std::vector<DataPair>& pairs) {
  DataLocator set;
  for (const DataPair& pair : pairs) set.InsertPart(pair.ullFirstMark, pair.ullLastMark);
  return set;
}

DataLocator fromText(const std::string& text) {
  DataLocator set;
  set.LoadParisFromString(text);
  return set;
}

struct InsertCase {
  std::vector<DataPair> start;
  std::uint64_t first;
  std::uint64_t last;
  bool answer;
  const char* after;
};

TEST(DataLocatorTest, InsertMergesOverlappingAndTouchingRanges) {
  const InsertCase cases[] = {
      {{{0, 4}}, 5, 9, true, "0-9"},
      {{{10, 20}}, 5, 9, true, "5-20"},
      {{{9, 20}}, 5, 9, true, "5-20"},
      {{{0, 2}, {4, 6}, {8, 12}}, 5, 9, true, "0-2,4-12"},
      {{{0, 2}, {4, 6}, {8, 12}}, 3, 7, true, "0-12"},
      {{{0, 100}}, 7, 30, true, "0-100"},
      {{{0, 100}}, 7, 3, false, "0-100"},
      {{}, 0, 0, true, "0-0"},
      {{{0, 1}, {20, 30}}, 3, 18, true, "0-1,3-18,20-30"},
      {{{0, 1}, {20, 30}}, 2, 19, true, "0-30"},
      {{{5, 9}}, 0, 100, true, "0-100"},
      {{}, kMax, kMax, true, "18446744073709551615-18446744073709551615"},
      {{{0, 0}}, kMax - 1, kMax, true, "0-0,18446744073709551614-18446744073709551615"},
      {{{kMax - 1, kMax}}, 0, kMax - 2, true, "0-18446744073709551615"},
      {{{0, kMax}}, 5, kMax, true, "0-18446744073709551615"},
  };
  for (const InsertCase& c : cases) {
    DataLocator set = fromPairs(c.start);
    EXPECT_EQ(set.InsertPart(c.first, c.last), c.answer) << c.after;
    EXPECT_EQ(set.OutPut(), c.after) << "+ " << c.first << ".." << c.last;
  }
}

struct RemoveCase {
  std::vector<DataPair> start;
  std::uint64_t first;
  std::uint64_t last;
  const char* after;
};

TEST(DataLocatorTest, RemoveCutsRangesAndKeepsWhatLiesOutside) {
  const RemoveCase cases[] = {
      {{{0, 999}}, 0, 99, "100-999"},
      {{{0, 99}}, 10, 19, "0-9,20-99"},
      {{{0, 99}}, 99, 200, "0-98"},
      {{{0, 9}}, 0, 9, ""},
      {{{0, 99}}, 200, 300, "0-99"},
      {{{0, 99}}, 50, 10, "0-99"},
      {{{0, 9}, {20, 29}, {40, 49}}, 5, 44, "0-4,45-49"},
      {{{0, kMax}}, kMax, kMax, "0-18446744073709551614"},
      {{{0, kMax}}, 0, 0, "1-18446744073709551615"},
      {{{0, kMax}}, 0, kMax, ""},
  };
  for (const RemoveCase& c : cases) {
    DataLocator set = fromPairs(c.start);
    set.RemovePairs(c.first, c.last);
    EXPECT_EQ(set.OutPut(), c.after) << "- " << c.first << ".." << c.last;
  }
  DataLocator set = fromText("0-999");
  set.RemoveDataLocatiors(fromText("0-99,200-299"));
  EXPECT_EQ(set.OutPut(), "100-199,300-999");
}

struct TextCase {
  const char* text;
  const char* output;
  std::uint64_t size;
};

TEST(DataLocatorTest, TextFormParsesLeniently) {
  const TextCase cases[] = {
      {"", "", 0},
      {"0-9,10-19", "0-19", 20},
      {"0-1023,4096-8191", "0-1023,4096-8191", 5120},
      {"0-0", "0-0", 1},
      {"5-3", "", 0},
      {"7", "", 0},
      {"7,,8-9", "8-9", 2},
      {" 3-5x", "3-5", 3},
      {"3-x5", "", 0},
      {"3-5-99", "3-5", 3},
      {"+2-4", "2-4", 3},
      {"1-99999999999999999999999", "1-9223372036854775807", 9223372036854775807ULL},
      // Negative marks read as very large positions once taken as unsigned;
      // the second "-" splits, so "-1" is an empty first mark.
      {"-1", "0-1", 2},
  };
  for (const TextCase& c : cases) {
    const DataLocator set = fromText(c.text);
    EXPECT_EQ(set.OutPut(), c.output) << c.text;
    EXPECT_EQ(set.Size(), c.size) << c.text;
  }
  DataLocator kept = fromText("0-9");
  kept.LoadParisFromString("20-29");
  EXPECT_EQ(kept.OutPut(), "0-9,20-29") << "loading adds to what is held";
  EXPECT_EQ(fromPairs({{0, kMax}}).Size(), kMax) << "saturates";
  EXPECT_EQ(fromPairs({{0, kMax - 1}}).Size(), kMax);
}

TEST(DataLocatorTest, FindSameAddsTheOverlapIntoTheOutSet) {
  DataLocator same;
  EXPECT_EQ(fromText("0-99,200-299").FindSame(fromText("50-249"), same), 100u);
  EXPECT_EQ(same.OutPut(), "50-99,200-249");

  DataLocator kept = fromText("1000-1009");
  EXPECT_EQ(fromText("0-9").FindSame(fromText("20-29"), kept), 10u);
  EXPECT_EQ(kept.OutPut(), "1000-1009");

  DataLocator many;
  EXPECT_EQ(fromText("0-100").FindSame(fromText("0-9,20-29,90-200"), many), 31u);
  EXPECT_EQ(many.OutPut(), "0-9,20-29,90-100");
}

// Every operation against a plain bit per position, over random sets.
TEST(DataLocatorTest, MatchesABitsetModel) {
  constexpr std::size_t kBits = 256;
  using Bits = std::bitset<kBits>;
  std::mt19937_64 random(20261210);
  const auto randomRange = [&](std::uint64_t& first, std::uint64_t& last) {
    first = random() % kBits;
    last = random() % 8 == 0 ? first - (random() % 3) : first + random() % 40;
    last = std::min<std::uint64_t>(last, kBits - 1);
  };
  const auto bitsOf = [](const DataLocator& set) {
    Bits bits;
    std::uint64_t previousEnd = 0;
    bool first = true;
    for (const DataPair& pair : set.arrayData()) {
      EXPECT_LE(pair.ullFirstMark, pair.ullLastMark);
      if (!first) {
        EXPECT_GT(pair.ullFirstMark, previousEnd + 1) << "sorted, apart";
      }
      first = false;
      previousEnd = pair.ullLastMark;
      for (std::uint64_t at = pair.ullFirstMark; at <= pair.ullLastMark; ++at) bits.set(at);
    }
    return bits;
  };
  for (int round = 0; round < 300; ++round) {
    DataLocator a;
    DataLocator b;
    Bits modelA;
    Bits modelB;
    for (int step = 0; step < 12; ++step) {
      std::uint64_t first = 0;
      std::uint64_t last = 0;
      randomRange(first, last);
      DataLocator& set = step % 2 ? a : b;
      Bits& model = step % 2 ? modelA : modelB;
      if (random() % 3 == 0) {
        set.RemovePairs(first, last);
        for (std::uint64_t at = first; at <= last; ++at) model.reset(at);
      } else {
        EXPECT_EQ(set.InsertPart(first, last), first <= last);
        for (std::uint64_t at = first; at <= last; ++at) model.set(at);
      }
      ASSERT_EQ(bitsOf(set), model);
      ASSERT_EQ(set.Size(), model.count());
    }
    EXPECT_EQ(bitsOf(fromText(a.OutPut())), modelA) << "text form round-trips";
    DataLocator same;
    EXPECT_EQ(a.FindSame(b, same), (modelA & modelB).count());
    EXPECT_EQ(bitsOf(same), modelA & modelB);
    a.RemoveDataLocatiors(b);
    EXPECT_EQ(bitsOf(a), modelA & ~modelB);
  }
}

}  // namespace
}  // namespace nb
