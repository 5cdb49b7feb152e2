#include "transfer/delta/UploadFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/UniqueFd.h"
#include "support/RandomBytes.h"
#include "support/FakeBlockDelta.h"
#include "support/TempHome.h"

namespace nb {
namespace {

using test::randomBytes;

class UploadFileTest : public test::TempHome {
 protected:
  struct Outcome {
    bool answer = false;
    std::string records;
    std::string delta;
  };

  // Matches `content` against the server's `old` version in blocks of
  // `piece`, through real files as the session does.
  Outcome match(const std::string& old, const std::string& content, std::int32_t piece) {
    UploadFile matcher;
    matcher.setPiece(piece);
    const std::string list = test::blockChecksumList(old, static_cast<std::uint64_t>(piece));
    EXPECT_EQ(matcher.resolve_serverinof(list), !old.empty());
    return run(matcher, content);
  }

  Outcome run(UploadFile& matcher, const std::string& content) {
    const std::filesystem::path source = home() / "new.bin";
    const std::filesystem::path delta = home() / "new.nbdif";
    std::ofstream(source, std::ios::binary)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
    platform::UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    platform::UniqueFd out(::open(delta.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    Outcome outcome;
    outcome.answer = matcher.resolve_file(in.get(), content.size(), out.get());
    outcome.records = matcher.get_serverhave().value_or("");
    std::ostringstream written;
    written << std::ifstream(delta, std::ios::binary).rdbuf();
    outcome.delta = written.str();
    return outcome;
  }
};

TEST_F(UploadFileTest, RollingSumEqualsAdlerOfTheMovedWindow) {
  std::mt19937_64 random(7);
  const std::string content = randomBytes(random, 200000);
  for (const std::size_t length : {1UL, 2UL, 3UL, 16UL, 5552UL, 5553UL, 65521UL, 65536UL, 70001UL}) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(content.data());
    std::uint32_t sum = UploadFile::alder32(bytes, length);
    for (std::size_t pos = 1; pos + length <= content.size(); pos += 1 + random() % 997) {
      sum = UploadFile::alder32(bytes + pos - 1, length);
      sum = UploadFile::rolling32(sum, bytes[pos - 1], bytes[pos + length - 1], length);
      ASSERT_EQ(sum, ::adler32_z(1, bytes + pos, length)) << "length " << length << " at " << pos;
    }
  }
  EXPECT_EQ(UploadFile::alder32(nullptr, 0), 1u);
}

TEST_F(UploadFileTest, ChecksumListLengthMustBeAWholeNumberOfEntries) {
  struct Case {
    std::size_t length;
    bool accepted;
  };
  for (const Case c : {Case{0, false}, Case{21, false}, Case{39, false}, Case{20, true},
                       Case{40, true}}) {
    UploadFile matcher;
    EXPECT_EQ(matcher.resolve_serverinof(std::string(c.length, 'x')), c.accepted) << c.length;
  }
}

TEST_F(UploadFileTest, EdgeCasesOfTheScan) {
  std::mt19937_64 random(11);
  const std::string blocks = randomBytes(random, 4 * 64);

  // Content no longer than a block: nothing tested, all of it is data.
  Outcome small = match(blocks, blocks.substr(0, 64), 64);
  EXPECT_TRUE(small.answer);
  EXPECT_EQ(small.records, "");
  EXPECT_EQ(small.delta, blocks.substr(0, 64));

  // The server's own version: every block but the last matches.
  Outcome same = match(blocks, blocks, 64);
  EXPECT_TRUE(same.answer);
  EXPECT_EQ(same.records.size(), 3 * 10u);
  EXPECT_EQ(same.delta, blocks.substr(192));
  EXPECT_EQ(test::rebuildFromDelta(blocks, 64, same.records, same.delta, blocks.size()), blocks);

  // Nothing in common: the scan gives up after two thirds.
  EXPECT_FALSE(match(blocks, randomBytes(random, 4 * 64), 64).answer);

  // No positive block length: no delta.
  for (const std::int32_t piece : {0, -64}) {
    UploadFile matcher;
    ASSERT_TRUE(matcher.resolve_serverinof(test::blockChecksumList(blocks, 64)));
    matcher.setPiece(piece);
    EXPECT_FALSE(run(matcher, blocks).answer) << piece;
  }
}

TEST_F(UploadFileTest, OfBlocksWithEqualWeakSumsOnlyTheLaterMatches) {
  // "b`d" and "abc" share their Adler-32; the list keeps "abc" (index 1).
  const std::string server = std::string("b`d") + "abc";
  ASSERT_EQ(UploadFile::alder32(reinterpret_cast<const unsigned char*>("b`d"), 3),
            UploadFile::alder32(reinterpret_cast<const unsigned char*>("abc"), 3));
  Outcome later = match(server, "abc" + std::string("xyz"), 3);
  EXPECT_TRUE(later.answer);
  EXPECT_EQ(later.records, std::string("\0\0\0\0\0\0\0\0\1\0", 10));
  EXPECT_EQ(later.delta, "xyz");

  // The weak sum is listed but the digest differs: not a match.
  Outcome earlier = match(server, "b`d" + std::string("xyz"), 3);
  EXPECT_TRUE(earlier.answer);
  EXPECT_EQ(earlier.records, "");
  EXPECT_EQ(earlier.delta, "b`dxyz");
}

TEST_F(UploadFileTest, AListBeyondASixteenBitIndexGivesNoDelta) {
  UploadFile matcher;
  matcher.setPiece(1);
  ASSERT_TRUE(matcher.resolve_serverinof(std::string(20 * (UploadFile::kMaxBlocks + 1), '\0')));
  EXPECT_FALSE(run(matcher, "abcdef").answer);

  UploadFile full;
  full.setPiece(1);
  ASSERT_TRUE(full.resolve_serverinof(std::string(20 * UploadFile::kMaxBlocks, '\0')));
  EXPECT_TRUE(run(full, "abcdef").answer);
}

// Edits a copy of `old` a few times: insertions, deletions and overwrites
// at random places, which shift what follows.
std::string edited(std::mt19937_64& random, std::string content) {
  const int edits = 1 + static_cast<int>(random() % 4);
  for (int i = 0; i < edits; ++i) {
    const std::size_t at = content.empty() ? 0 : random() % content.size();
    const std::size_t length = 1 + random() % 300;
    switch (random() % 3) {
      case 0:
        content.insert(at, randomBytes(random, length));
        break;
      case 1:
        content.erase(at, length);
        break;
      default:
        content.replace(at, std::min(length, content.size() - at), randomBytes(random, length));
    }
  }
  return content;
}

// The server's blocks, the records and the delta data rebuild the new file.
TEST_F(UploadFileTest, ServerBlocksAndDeltaRebuildTheNewFile) {
  std::mt19937_64 random(20261211);
  int deltas = 0;
  for (int round = 0; round < 60; ++round) {
    const std::int32_t piece = static_cast<std::int32_t>(1 + random() % 700);
    const std::string old = randomBytes(random, random() % 20000);
    const std::string content = edited(random, old);
    const Outcome outcome = match(old, content, piece);
    if (!outcome.answer) continue;  // the session then uploads the whole file
    ++deltas;
    ASSERT_EQ(test::rebuildFromDelta(old, static_cast<std::uint64_t>(piece), outcome.records,
                                     outcome.delta, content.size()),
              content)
        << "round " << round << " piece " << piece;
  }
  EXPECT_GT(deltas, 40);
}

// Larger than the matcher's read-ahead, with a long unmatched stretch first,
// so the buffer is flushed and refilled mid-scan.
TEST_F(UploadFileTest, LongContentIsScannedThroughABoundedBuffer) {
  std::mt19937_64 random(5);
  const std::string old = randomBytes(random, 9 * 1024 * 1024);
  const std::string content = randomBytes(random, 5 * 1024 * 1024 + 17) +
                              old.substr(0, 6 * 1024 * 1024) + randomBytes(random, 999) +
                              old.substr(6 * 1024 * 1024 + 5000);
  const Outcome outcome = match(old, content, 65536);
  ASSERT_TRUE(outcome.answer);
  EXPECT_LT(outcome.delta.size(), 5 * 1024 * 1024 + 200000u);
  EXPECT_EQ(test::rebuildFromDelta(old, 65536, outcome.records, outcome.delta, content.size()),
            content);
}

}  // namespace
}  // namespace nb
