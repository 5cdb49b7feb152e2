// The gzip codec: formats, partial and hostile input, the cap, file forms,
// and its use by requests.

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

#include "http/HttpTestSupport.h"
#include "http/gzip/ASIDataDecompressor.h"
#include "http/shared/ASIHTTPRequestDefaults.h"

namespace nb::test {
namespace {

using http::ASIDataCompressor;
using http::ASIDataDecompressor;
using http::ASIErrorPtr;

// zlib's own deflate with the given window bits (31 gzip, 15 zlib, -15 raw).
std::string deflated(const std::string& text, int windowBits) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  std::string out(text.size() + 128, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

class CapGuard {
 public:
  explicit CapGuard(uint64_t cap) { ASIDataDecompressor::setMaxInflatedSize(cap); }
  ~CapGuard() { ASIDataDecompressor::setMaxInflatedSize(1ull << 30); }
};

TEST(Decompressor, GzipAndZlibInflateRawDeflateFails) {
  const std::string text(10'000, 'q');
  EXPECT_EQ(ASIDataDecompressor::uncompressData(deflated(text, 31)), text);
  EXPECT_EQ(ASIDataDecompressor::uncompressData(deflated(text, 15)), text);
  ASIErrorPtr error;
  EXPECT_FALSE(ASIDataDecompressor::uncompressData(deflated(text, -15), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), http::ASICompressionError);
  EXPECT_EQ(error->localizedDescription(), "Decompression of data failed with code -3");
}

TEST(Decompressor, TwoMembersGiveTheFirstAndACutStreamGivesWhatItHeld) {
  const std::string first(3000, 'a');
  EXPECT_EQ(ASIDataDecompressor::uncompressData(deflated(first, 31) + deflated("bbb", 31)), first);
  const std::string whole = deflated(std::string(100'000, 'c') + "tail", 31);
  ASIErrorPtr error;
  const auto partial = ASIDataDecompressor::uncompressData(whole.substr(0, whole.size() - 8), &error);
  EXPECT_FALSE(error);
  ASSERT_TRUE(partial);
  EXPECT_EQ(partial->substr(0, 10), "cccccccccc");
  EXPECT_FALSE(ASIDataDecompressor::uncompressData("", &error));
  EXPECT_FALSE(error);
}

TEST(Decompressor, OutputPastTheCapFailsWithCode11) {
  const CapGuard cap(1000);
  ASIErrorPtr error;
  EXPECT_FALSE(ASIDataDecompressor::uncompressData(deflated(std::string(5000, 'x'), 31), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->localizedDescription(), "Decompression of data failed with code -4");
}

TEST(Decompressor, ChunkByChunkEqualsWhole) {
  const std::string text = [] {
    std::string t;
    for (int i = 0; i < 20'000; ++i) t += std::to_string(i * 7919 % 1000);
    return t;
  }();
  const std::string packed = deflated(text, 31);
  ASIDataDecompressor stream;
  std::string out;
  for (size_t at = 0; at < packed.size(); at += 777) {
    const auto piece = stream.uncompressBytes(std::string_view(packed).substr(at, 777));
    ASSERT_TRUE(piece);
    out += *piece;
  }
  EXPECT_EQ(out, text);
}

TEST(Compressor, FileOfExactlyOnePieceRoundTrips) {
  const auto folder = std::filesystem::temp_directory_path() / http::temporaryFilePath();
  std::filesystem::create_directories(folder);
  const std::string source = folder / "in", packed = folder / "in.gz", back = folder / "out";
  std::string text(262'144, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 31 % 251);
  std::ofstream(source, std::ios::binary) << text;
  ASSERT_TRUE(ASIDataCompressor::compressDataFromFile(source, packed));
  ASSERT_TRUE(ASIDataDecompressor::uncompressDataFromFile(packed, back));
  std::ifstream in(back, std::ios::binary);
  const std::string roundTrip((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(roundTrip, text);
  ASIErrorPtr error;
  EXPECT_FALSE(ASIDataDecompressor::uncompressDataFromFile(folder / "missing", back, &error));
  ASSERT_TRUE(error);
  EXPECT_NE(error->localizedDescription().find("failed the file does not exist"),
            std::string::npos);
  std::filesystem::remove_all(folder);
}

TEST(GzipRequests, InflateWhileReadingAndCompressedBodies) {
  registerTestIdentity();
  ScriptedHttpServer server;
  const std::string text(200'000, 'w');
  server.on("/gz", ScriptedReply::ok(deflated(text, 31)).header("Content-Encoding", "gzip"));
  server.on("/raw", ScriptedReply::ok(deflated(text, -15)).header("Content-Encoding", "gzip"));
  server.on("/up", [](const ScriptedRequest& request) {
    return ScriptedReply::ok(ASIDataDecompressor::uncompressData(request.body).value_or("?"));
  });

  auto eager = http::ASIHTTPRequest::requestWithURL(server.url("/gz"));
  eager->shouldWaitToInflateCompressedResponses = false;
  eager->startSynchronous();
  EXPECT_EQ(errorCode(*eager), 0);
  EXPECT_EQ(eager->responseData(), text);

  auto broken = http::ASIHTTPRequest::requestWithURL(server.url("/raw"));
  broken->shouldWaitToInflateCompressedResponses = false;
  broken->startSynchronous();
  EXPECT_EQ(errorCode(*broken), http::ASICompressionError);

  auto upload = http::ASIHTTPRequest::requestWithURL(server.url("/up"));
  upload->setRequestMethod("PUT");
  upload->shouldCompressRequestBody = true;
  upload->appendPostData("squeeze me");
  upload->startSynchronous();
  EXPECT_EQ(upload->responseString(), "squeeze me");
  EXPECT_EQ(server.requests().back().header("Content-Encoding"), "gzip");
}

}  // namespace
}  // namespace nb::test
