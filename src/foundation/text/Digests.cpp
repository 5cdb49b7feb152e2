// Digests and checksums of StringHelpers.h.

#include <array>

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <zlib.h>

#include "foundation/text/HexText.h"
#include "foundation/text/StringHelpers.h"

namespace nb {

namespace {

std::string digest(std::string_view bytes, const EVP_MD* md) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> out{};
  unsigned int len = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), out.data(), &len, md, nullptr) != 1) {
    return {};
  }
  return std::string(reinterpret_cast<const char*>(out.data()), len);
}

std::string hmacWith(const EVP_MD* md, std::string_view text, std::string_view key) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> out{};
  unsigned int len = 0;
  if (HMAC(md, key.data(), static_cast<int>(key.size()),
           reinterpret_cast<const unsigned char*>(text.data()), text.size(), out.data(),
           &len) == nullptr) {
    return {};
  }
  return std::string(reinterpret_cast<const char*>(out.data()), len);
}

using CrcTable = std::array<uint32_t, 256>;

CrcTable makeCrcTable(uint32_t polynomial) {
  CrcTable table{};
  for (uint32_t i = 0; i < table.size(); ++i) {
    uint32_t r = i;
    for (int bit = 0; bit < 8; ++bit) {
      r = (r >> 1) ^ ((r & 1U) != 0 ? polynomial : 0U);
    }
    table[i] = r;
  }
  return table;
}

constexpr uint32_t kStandardSeed = 0xFFFFFFFFU;
constexpr uint32_t kStandardPolynomial = 0xEDB88320U;

}  // namespace

std::string md5_raw(std::string_view bytes) { return digest(bytes, EVP_md5()); }

std::string md5Data2String(std::string_view bytes) { return hexText(md5_raw(bytes)); }

std::string md5HexDigest(std::string_view text) { return md5Data2String(text); }

std::string sha1HexDigest(std::string_view bytes) {
  return hexText(digest(bytes, EVP_sha1()));
}

std::string hmac_sha1(std::string_view text, std::string_view key) {
  return hmacWith(EVP_sha1(), text, key);
}

std::string hmacSha256Hex(std::string_view text, std::string_view key) {
  return hexText(hmacWith(EVP_sha256(), text, key));
}

uint32_t crc32WithSeed(std::string_view bytes, uint32_t seed, uint32_t polynomial) {
  if (seed == kStandardSeed && polynomial == kStandardPolynomial) {
    return crc32(bytes);
  }
  // The standard parameters went to zlib above; other polynomials are rare
  // enough that building their table per call (2 KiB of shifts) is cheaper
  // than guarding a shared cache.
  const CrcTable table = makeCrcTable(polynomial);
  uint32_t reg = seed;
  for (unsigned char b : bytes) {
    reg = (reg >> 8) ^ table[(reg ^ b) & 0xFFU];
  }
  return ~reg;
}

uint32_t crc32(std::string_view bytes) {
  // zlib takes uInt lengths; feed large buffers in slices.
  uLong crc = ::crc32(0L, Z_NULL, 0);
  const auto* p = reinterpret_cast<const Bytef*>(bytes.data());
  size_t left = bytes.size();
  while (left > 0) {
    const uInt n = left > (1U << 30) ? (1U << 30) : static_cast<uInt>(left);
    crc = ::crc32(crc, p, n);
    p += n;
    left -= n;
  }
  return static_cast<uint32_t>(crc);
}

}  // namespace nb
