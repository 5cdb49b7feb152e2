#include "transfer/lan/LanRequestHead.h"

#include <gtest/gtest.h>

namespace nb::lan {
namespace {

const std::string kHash = "0123456789abcdef0123456789abcdef01234567";

std::string get(const std::string& target, const std::string& headers = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: 10.0.0.5:24753\r\n" + headers + "\r\n";
}

TEST(LanRequestHeadTest, HeadIsTakenOnlyWhenWhole) {
  const std::string head = get("/download?filehash=" + kHash);
  for (std::size_t cut = 0; cut < head.size(); ++cut) {
    EXPECT_EQ(parseLanRequestHead(head.substr(0, cut)).status, LanHeadResult::Status::kIncomplete)
        << cut;
  }
  const auto whole = parseLanRequestHead(head + "GET /next");
  ASSERT_EQ(whole.status, LanHeadResult::Status::kComplete);
  EXPECT_EQ(whole.consumed, head.size());
  EXPECT_EQ(whole.request.filehash, kHash);
  EXPECT_EQ(whole.request.host, "10.0.0.5:24753");
}

TEST(LanRequestHeadTest, OversizedHeadIsRefused) {
  const std::string endless = "GET /download?filehash=" + kHash + " HTTP/1.1\r\nX: " +
                              std::string(kLanMaxRequestHead, 'a');
  EXPECT_EQ(parseLanRequestHead(endless).status, LanHeadResult::Status::kTooLarge);
  // Terminated, but only after the limit.
  EXPECT_EQ(parseLanRequestHead(endless + "\r\n\r\n").status, LanHeadResult::Status::kTooLarge);
}

TEST(LanRequestHeadTest, OnlyExactContentHashesAreTaken) {
  struct Case {
    std::string target;
    bool download;
    std::string hash;
  };
  const Case cases[] = {
      {"/download?filehash=" + kHash, true, kHash},
      {"/any/path/download?filehash=" + kHash + "&x=1", true, kHash},
      {"/download?filehash=" + kHash.substr(0, 39), true, ""},
      {"/download?filehash=" + kHash + "8", true, ""},
      {"/download?filehash=0123456789ABCDEF0123456789abcdef01234567", true, ""},
      {"/download?filehash=../../../../etc/passwd/aaaaaaaaaaaaaaaaaaa", true, ""},
      {"/download?filehash=", true, ""},
      {"/upload?filehash=" + kHash, false, ""},
      {"/", false, ""},
  };
  for (const Case& c : cases) {
    const auto result = parseLanRequestHead(get(c.target));
    ASSERT_EQ(result.status, LanHeadResult::Status::kComplete) << c.target;
    EXPECT_EQ(result.request.download, c.download) << c.target;
    EXPECT_EQ(result.request.filehash, c.hash) << c.target;
  }
  // The hash is looked for in the target only, not in other headers.
  EXPECT_FALSE(parseLanRequestHead(get("/", "X: download?filehash=" + kHash + "\r\n"))
                   .request.download);
}

TEST(LanRequestHeadTest, RangesTable) {
  using Range = LanRequest::Range;
  struct Case {
    std::string value;
    Range range;
    std::int64_t begin;
    std::int64_t end;
  };
  const Case cases[] = {
      {"bytes=2-3", Range::kValid, 2, 3},
      {"bytes=2-", Range::kValid, 2, -1},
      {"bytes=0-0", Range::kValid, 0, 0},
      {"bytes=9-4", Range::kValid, 9, -1},  // an end below the begin serves to the end
      {"bytes = 5 - 6", Range::kMalformed, 0, -1},
      {"bytes=-5", Range::kMalformed, 0, -1},
      {"bytes=-1-4", Range::kMalformed, 0, -1},
      {"bytes=99999999999999999999-", Range::kMalformed, 0, -1},
      {"bytes=1-99999999999999999999", Range::kMalformed, 0, -1},
      {"bytes=1-2,4-5", Range::kMalformed, 0, -1},
      {"bytes=12", Range::kMalformed, 0, -1},
      {"2-3", Range::kMalformed, 0, -1},
      {"items=2-3", Range::kMalformed, 0, -1},
      {"bytes=a-b", Range::kMalformed, 0, -1},
  };
  for (const Case& c : cases) {
    const auto result = parseLanRequestHead(get("/download?filehash=" + kHash, "Range: " + c.value + "\r\n"));
    EXPECT_EQ(result.request.range, c.range) << c.value;
    if (c.range == Range::kValid) {
      EXPECT_EQ(result.request.begin, c.begin) << c.value;
      EXPECT_EQ(result.request.end, c.end) << c.value;
    }
  }
  EXPECT_EQ(parseLanRequestHead(get("/download?filehash=" + kHash)).request.range, Range::kNone);
}

TEST(LanRequestHeadTest, HostWithControlCharactersIsNotEchoed) {
  const auto result = parseLanRequestHead(
      "GET /download?filehash=" + kHash + " HTTP/1.1\r\nHost: a\nSet-Cookie: x\r\n\r\n");
  EXPECT_EQ(result.request.host, "");
  EXPECT_EQ(parseLanRequestHead("GET / HTTP/1.1\r\nhost:  peer:1 \r\n\r\n").request.host, "peer:1");
}

TEST(LanRequestHeadTest, ReplyHeadersAreByteExact) {
  const std::string date = "Tue, 08 Dec 2026 17:00:00 GMT";
  EXPECT_EQ(lanReplyWhole("10.0.0.5:24753", date, 5),
            "HTTP/1.1 200 OK\r\nServer: 10.0.0.5:24753\r\nDate: " + date +
                "\r\nContent-Length: 5\r\nContent-Type: close\r\n\r\n");
  EXPECT_EQ(lanReplyRange("h", date, 2, 3),
            "HTTP/1.1 206 Partial Content\r\nServer: h\r\nDate: " + date +
                "\r\nContent-Range: bytes 2-3/2\r\nAccept-Ranges: bytes\r\nContent-Length: 2\r\n"
                "Content-Type: close\r\n\r\n");
  EXPECT_EQ(lanReplyNotFound("h", date),
            "HTTP/1.1 404  Not Found\r\nDate: " + date + "\r\nServer: h\r\nContent-Type: close\r\n\r\n");
}

}  // namespace
}  // namespace nb::lan
