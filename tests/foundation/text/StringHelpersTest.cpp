#include "foundation/text/StringHelpers.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace nb {
namespace {

using namespace std::string_literals;

// RFC 4648, section 10.
struct Base64Vector {
  std::string bytes;
  std::string text;
};
const Base64Vector kRfc4648[] = {
    {"f", "Zg=="},     {"fo", "Zm8="},     {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
};

TEST(Base64, ReproducesRfc4648VectorsBothWays) {
  for (const auto& v : kRfc4648) {
    EXPECT_EQ(base64Encoded(v.bytes), v.text) << v.bytes;
    EXPECT_EQ(base64Decoded(v.text), v.bytes) << v.text;
    EXPECT_EQ(base64DecodedText(v.text), v.bytes) << v.text;
  }
}

TEST(Base64, EmptyInputGivesNothingNotEmptyText) {
  EXPECT_EQ(base64Encoded(""), std::nullopt);
  EXPECT_EQ(base64Decoded(""), std::nullopt);
}

TEST(Base64, EncodesEveryByteValue) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  const auto text = base64Encoded(all);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
            std::string::npos);
  EXPECT_EQ(base64Decoded(*text), all);
  EXPECT_EQ(base64DecodedText(*text), std::nullopt) << "bytes that are not UTF-8";
}

TEST(Base64, DecoderSkipsForeignBytesAndPadding) {
  const struct {
    std::string text;
    std::optional<std::string> bytes;
  } cases[] = {
      {"Zm9v\nYmFy", "foobar"},
      {"Zm 9v Ym Fy", "foobar"},
      {"Zm9vYg", "foob"},              // unpadded reads as padded
      {"Zm9vYmE", "fooba"},
      {"Z", std::nullopt},             // a lone character gives no byte
      {"====", std::nullopt},
      {"", std::nullopt},
      {"\xc3\xa9Zg==", "f"},           // bytes above 0x80 skipped
      {"Zg==Zm8=", "f\x06" "f"},       // "=" does not end the stream: "ZgZm" + lone "8"
      {"Zm9vYg==\r\n", "foob"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(base64Decoded(c.text), c.bytes) << c.text;
  }
}

TEST(Crc32, StandardCheckValueAndEmpty) {
  EXPECT_EQ(crc32("123456789"), 0xCBF43926U);
  EXPECT_EQ(crc32(""), 0U);
  EXPECT_EQ(crc32WithSeed("123456789", 0xFFFFFFFFU, 0xEDB88320U), 0xCBF43926U);
}

TEST(Crc32, SeededTableFormMatchesItsDefinition) {
  // CRC-32C (Castagnoli, reflected 0x82F63B78) check value.
  EXPECT_EQ(crc32WithSeed("123456789", 0xFFFFFFFFU, 0x82F63B78U), 0xE3069283U);
  // The seed is taken as it stands: an empty buffer answers its complement.
  EXPECT_EQ(crc32WithSeed("", 0x12345678U, 0xEDB88320U), ~0x12345678U);
  EXPECT_EQ(crc32WithSeed("", 0xFFFFFFFFU, 0x82F63B78U), 0U);
}

TEST(Digests, KnownValues) {
  EXPECT_EQ(sha1HexDigest(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(sha1HexDigest("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(md5Data2String(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5HexDigest("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5HexDigest("\xe4\xb8\xad"), md5Data2String("\xe4\xb8\xad"));
}

TEST(Digests, Md5RawIsTheBytesOfTheHexForm) {
  const std::string data = "abc";
  const std::string raw = md5_raw(data);
  ASSERT_EQ(raw.size(), 16U);
  EXPECT_EQ(raw.substr(0, 3), "\x90\x01\x50"s);
  std::string hex;
  for (unsigned char b : raw) {
    static const char* d = "0123456789abcdef";
    hex += d[b >> 4];
    hex += d[b & 15];
  }
  EXPECT_EQ(hex, md5Data2String(data));
}

TEST(Digests, HmacSha1Rfc2202) {
  const std::string key(20, '\x0b');
  const std::string mac = hmac_sha1("Hi There", key);
  ASSERT_EQ(mac.size(), 20U);
  EXPECT_EQ(mac,
            "\xb6\x17\x31\x86\x55\x05\x72\x64\xe2\x8b\xc0\xb6\xfb\x37\x8c\x8e\xf1\x46\xbe\x00"s);
  EXPECT_EQ(hmac_sha1("what do ya want for nothing?", "Jefe"),
            "\xef\xfc\xdf\x6a\xe5\xeb\x2f\xa2\xd2\x74\x16\xd5\xf1\x84\xdf\x9c\x25\x9a\x7c\x79"s);
}

TEST(UrlEncoded, EscapesAllButUnreserved) {
  const struct {
    std::string text;
    std::string escaped;
  } cases[] = {
      {"a b", "a%20b"},
      {"a.txt", "a%2Etxt"},
      {"dir/file", "dir%2Ffile"},
      {"100%", "100%25"},
      {"%20", "%2520"},  // existing escapes are escaped again
      {"AZaz09-_~", "AZaz09-_~"},
      {";/?:@&=+$,!'()*.", "%3B%2F%3F%3A%40%26%3D%2B%24%2C%21%27%28%29%2A%2E"},
      {"#\"<>[]{}|\\^`", "%23%22%3C%3E%5B%5D%7B%7D%7C%5C%5E%60"},
      {"\n", "%0A"},
      {"\xe4\xb8\xad", "%E4%B8%AD"},  // each UTF-8 byte, upper-case hex
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(urlEncoded(c.text), c.escaped) << c.text;
  }
}

TEST(UrlDecoded, PlusAndEscapes) {
  const struct {
    std::string text;
    std::optional<std::string> decoded;
  } cases[] = {
      {"a+b", "a b"},
      {"a%20b", "a b"},
      {"%2B", "+"},           // an escaped plus stays a plus
      {"%E4%B8%AD", "\xe4\xb8\xad"},
      {"%e4%b8%ad", "\xe4\xb8\xad"},
      {"plain", "plain"},
      {"", ""},
      {"%FF", std::nullopt},  // not UTF-8
      {"%E4%B8", std::nullopt},
      {"%", std::nullopt},    // malformed escapes
      {"%2", std::nullopt},
      {"%zz", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(urlDecoded(c.text), c.decoded) << c.text;
  }
}

TEST(UrlDecoded, RoundTripsUrlEncoded) {
  const std::string text = "name with spaces/and.dots+plus%&=\xe4\xb8\xad";
  EXPECT_EQ(urlDecoded(urlEncoded(text)), text);
}

TEST(ToUtf8, NormalisesEscapesKeepingReservedCharacters) {
  EXPECT_EQ(toUtf8("a%2Fb c"), "a/b%20c");
  EXPECT_EQ(toUtf8("%e4%b8%ad/x?y=1"), "%E4%B8%AD/x?y=1");
  EXPECT_EQ(toUtf8("\xe4\xb8\xad"), "%E4%B8%AD");
  EXPECT_EQ(toUtf8("100%"), "100%25");  // undecodable: escaped as it stands
}

TEST(PathHelpers, Table) {
  const struct {
    std::string path, parent, filename;
  } cases[] = {
      {"a/b/c", "a/b", "c"},
      {"abc", "", "abc"},
      {"/abc", "", "abc"},
      {"a/b/", "a/b", ""},
      {"", "", ""},
      {"/", "", ""},
      {"a\\b/..", "a\\b", ".."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(getParent(c.path), c.parent) << c.path;
    EXPECT_EQ(getFilename(c.path), c.filename) << c.path;
  }
}

TEST(PathHelpers, SlashesAtTheEnd) {
  EXPECT_EQ(lastaddslash(""), "/");
  EXPECT_EQ(lastaddslash("a/"), "a/");
  EXPECT_EQ(lastaddslash("a"), "a/");
  EXPECT_EQ(lastremoveslash("a//"), "a/");
  EXPECT_EQ(lastremoveslash("/"), "");
  EXPECT_EQ(lastremoveslash("a"), "a");
  EXPECT_EQ(lastremoveslash(""), "");
}

TEST(Quoting, SqlAndJson) {
  EXPECT_EQ(replacetosql("it's"), "it''s");
  EXPECT_EQ(replacetosql("''"), "''''");
  EXPECT_EQ(replacetosql(""), "");
  EXPECT_EQ(replacetosql(std::nullopt), "");
  EXPECT_EQ(replacetojson("a/b/"), "a\\/b\\/");
}

}  // namespace
}  // namespace nb
