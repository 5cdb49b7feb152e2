#include "transfer/lan/LanDatagram.h"

#include <gtest/gtest.h>

#include <cstring>

namespace nb::lan {
namespace {

const std::string kHash = "0123456789abcdef0123456789abcdef01234567";

LanMessage partial(std::string have) {
  LanMessage message;
  message.type = LanMessageType::kPartial;
  message.filehash = kHash;
  message.address = "192.168.100.200";
  message.port = 24753;
  message.bHttpStart = true;
  message.bHttpAble = false;
  message.userid = -5;
  message.have = std::move(have);
  return message;
}

void setU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

TEST(LanDatagramTest, LayoutsAreTheWireBytes) {
  LanMessage question;
  question.type = LanMessageType::kWhoHas;
  question.filehash = kHash;
  question.address = "10.0.0.1";
  question.port = 14753;
  const std::string bytes = encodeLanMessage(question);
  ASSERT_EQ(bytes.size(), 68u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x01\x00\x35\x2B\x2E\x35\x39\x00", 8));
  EXPECT_EQ(bytes.substr(8, 40), kHash);
  EXPECT_EQ(bytes.substr(48, 16), std::string("10.0.0.1") + std::string(8, '\0'));
  EXPECT_EQ(bytes.substr(64, 4), std::string("\xA1\x39\x00\x00", 4));  // 14753 LE

  const std::string answer = encodeLanMessage(partial("0-1048575"));
  ASSERT_EQ(answer.size(), 78u + 9u);
  EXPECT_EQ(answer[0], 3);
  EXPECT_EQ(answer[68], 1);
  EXPECT_EQ(answer[69], 0);
  EXPECT_EQ(answer.substr(70, 4), std::string("\xFB\xFF\xFF\xFF", 4));
  EXPECT_EQ(answer.substr(74, 4), std::string("\x09\x00\x00\x00", 4));
  EXPECT_EQ(answer.substr(78), "0-1048575");
}

TEST(LanDatagramTest, DecodeRoundTripsEveryType) {
  for (const LanMessageType type : {LanMessageType::kWhoHas, LanMessageType::kHave,
                                    LanMessageType::kPartial}) {
    LanMessage message = partial(type == LanMessageType::kPartial ? "0-9,20-29" : "");
    message.type = type;
    if (type != LanMessageType::kPartial) {
      message.bHttpStart = false;
      message.userid = 0;
    }
    const auto decoded = decodeLanMessage(encodeLanMessage(message));
    ASSERT_EQ(decoded.status, LanDecodeResult::Status::kMessage);
    EXPECT_EQ(decoded.message.type, type);
    EXPECT_EQ(decoded.message.filehash, kHash);
    EXPECT_EQ(decoded.message.address, "192.168.100.200");
    EXPECT_EQ(decoded.message.port, 24753u);
    EXPECT_EQ(decoded.message.have, message.have);
    EXPECT_EQ(decoded.message.userid, message.userid);
  }
}

// Whole datagrams from a stranger, each alone in an empty buffer.
TEST(LanDatagramTest, HostileDatagramsAreRefusedCleanly) {
  using Status = LanDecodeResult::Status;
  const std::string good = encodeLanMessage(partial("0-9"));
  auto with = [&](auto change) {
    std::string bytes = good;
    change(bytes);
    return bytes;
  };
  struct Case {
    const char* name;
    std::string bytes;
    Status status;
  };
  const Case cases[] = {
      {"short header", good.substr(0, 5), Status::kNeedMore},
      {"fixed part cut", good.substr(0, 70), Status::kNeedMore},
      {"have text cut", good.substr(0, 80), Status::kNeedMore},
      {"unknown type", with([](std::string& b) { b[0] = 9; }), Status::kBadHeader},
      {"wrong magic", with([](std::string& b) { b[3] = 'x'; }), Status::kBadHeader},
      {"byte 7 set", with([](std::string& b) { b[7] = 1; }), Status::kBadHeader},
      {"N = -1", with([](std::string& b) { setU32(b, 74, 0xFFFFFFFF); }), Status::kBadLength},
      {"N past the buffer", with([](std::string& b) { setU32(b, 74, 65535 - 77); }),
       Status::kBadLength},
      {"upper-case hash", with([](std::string& b) { b[8] = 'A'; }), Status::kSkip},
      {"hash with a NUL", with([](std::string& b) { b[20] = '\0'; }), Status::kSkip},
      {"port 0", with([](std::string& b) { setU32(b, 64, 0); }), Status::kSkip},
      {"port above 65535", with([](std::string& b) { setU32(b, 64, 70000); }), Status::kSkip},
      {"have text not ranges", with([](std::string& b) { b[78] = '<'; }), Status::kSkip},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decodeLanMessage(c.bytes).status, c.status) << c.name;
  }
}

TEST(LanDatagramTest, AddressFieldWithoutNulIsReadWithinItsSixteenBytes) {
  std::string bytes = encodeLanMessage(partial(""));
  std::memset(bytes.data() + 48, '9', 16);
  const auto decoded = decodeLanMessage(bytes);
  ASSERT_EQ(decoded.status, LanDecodeResult::Status::kMessage);
  EXPECT_EQ(decoded.message.address, "");
  EXPECT_EQ(decoded.message.port, 24753u);
}

TEST(LanDatagramTest, BufferJoinsAPartialSplitOverTwoDatagrams) {
  LanDatagramBuffer buffer;
  const std::string bytes = encodeLanMessage(partial("0-1048575"));
  for (const std::size_t cut : {std::size_t{3}, std::size_t{60}, std::size_t{78}, std::size_t{82}}) {
    EXPECT_FALSE(buffer.push(bytes.substr(0, cut), false).message) << cut;
    const auto outcome = buffer.push(bytes.substr(cut), false);
    ASSERT_TRUE(outcome.message) << cut;
    EXPECT_EQ(outcome.message->have, "0-1048575");
    EXPECT_EQ(buffer.held(), 0u);
  }
}

TEST(LanDatagramTest, BufferTakesOneMessagePerDatagramAndKeepsTheRest) {
  LanDatagramBuffer buffer;
  LanMessage have = partial("");
  have.type = LanMessageType::kHave;
  const std::string one = encodeLanMessage(have);
  const auto first = buffer.push(one + one, false);
  ASSERT_TRUE(first.message);
  EXPECT_EQ(buffer.held(), 68u);
  // The next datagram releases the held message.
  const auto second = buffer.push(std::string(1, '\x02'), false);
  ASSERT_TRUE(second.message);
  EXPECT_EQ(buffer.held(), 1u);
}

TEST(LanDatagramTest, BufferClearsOnJunkOwnAddressesAndImpossibleLengths) {
  const std::string good = encodeLanMessage(partial("0-9"));
  std::string negative = good;
  setU32(negative, 74, 0x80000000);
  struct Case {
    const char* name;
    std::string held;  // pushed first, from a stranger
    std::string bytes;
    bool own;
  };
  const Case cases[] = {
      {"stranger's junk on a held start", good.substr(0, 30), std::string(50, 'x'), false},
      {"junk into an empty buffer", "", std::string(80, 'x'), false},
      {"own address", "", good, true},
      {"own address completing a split", good.substr(0, 40), good.substr(40), true},
      {"negative N", "", negative, false},
  };
  for (const Case& c : cases) {
    LanDatagramBuffer buffer;
    if (!c.held.empty()) buffer.push(c.held, false);
    const auto outcome = buffer.push(c.bytes, c.own);
    EXPECT_FALSE(outcome.message) << c.name;
    EXPECT_TRUE(outcome.cleared) << c.name;
    EXPECT_EQ(buffer.held(), 0u) << c.name;
  }
}

TEST(LanDatagramTest, ADatagramThatWouldNotFitDropsWhatWasHeld) {
  LanDatagramBuffer buffer;
  std::string big = encodeLanMessage(partial(std::string(60000, '1')));
  // Held: a partial that announces more than is sent.
  buffer.push(big.substr(0, 40000), false);
  EXPECT_EQ(buffer.held(), 40000u);
  const auto outcome = buffer.push(big, false);
  EXPECT_TRUE(outcome.cleared);
  ASSERT_TRUE(outcome.message);
  EXPECT_EQ(outcome.message->have.size(), 60000u);
  EXPECT_EQ(buffer.push(std::string(70000, '\x03'), false).cleared, true);
  EXPECT_EQ(buffer.held(), 0u);
}

}  // namespace
}  // namespace nb::lan
