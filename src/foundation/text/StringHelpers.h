#pragma once
// Stateless text and byte helpers: digests, Base64, CRC-32, URL escaping,
// "/"-path cutting, SQL quote doubling and a streamed SHA-1 of a file.
//
// Text is UTF-8 in std::string / std::string_view; byte buffers use the same
// types. Hex output is lower-case, two digits a byte. No function keeps state
// or takes a lock: every one may be called from any thread at any time.
// An empty std::optional is "nothing", always distinct from the empty text.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace nb {

// ---- Digests ---------------------------------------------------------------

// The raw 16-byte MD5 digest of `bytes` (not hex).
std::string md5_raw(std::string_view bytes);

// MD5 of `bytes` as 32 hex characters.
std::string md5Data2String(std::string_view bytes);

// MD5 of the UTF-8 text as 32 hex characters (same value as md5Data2String;
// kept as its own name because callers hash passwords and keys through it).
std::string md5HexDigest(std::string_view text);

// SHA-1 of `bytes` as 40 hex characters.
std::string sha1HexDigest(std::string_view bytes);

// HMAC-SHA1 of `text` keyed with `key`: the raw 20-byte digest.
std::string hmac_sha1(std::string_view text, std::string_view key);

// HMAC-SHA256 of `text` keyed with `key`, as 64 hex characters.
std::string hmacSha256Hex(std::string_view text, std::string_view key);

// ---- CRC-32 ----------------------------------------------------------------

// CRC over `bytes` with a reflected `polynomial`. The register starts at
// `seed` as given (not inverted) and the result is the complement of the
// register, so seed 0xFFFFFFFF with 0xEDB88320 is the standard CRC-32.
uint32_t crc32WithSeed(std::string_view bytes, uint32_t seed, uint32_t polynomial);

// The standard CRC-32 (zlib, PKZIP, ISO-HDLC); 0 for an empty buffer.
uint32_t crc32(std::string_view bytes);

// ---- Base64 (RFC 4648 alphabet, "=" padding, no line breaks) ---------------

// Base64 text of `bytes`; nothing for an empty buffer.
std::optional<std::string> base64Encoded(std::string_view bytes);

// Decoded bytes of `text`. Every byte outside the 64-character alphabet is
// skipped ("=" included, which therefore does not end decoding); a trailing
// lone character is dropped. Nothing when no byte results.
std::optional<std::string> base64Decoded(std::string_view text);

// base64Decoded() read as text: nothing when no byte results or the bytes
// are not valid UTF-8.
std::optional<std::string> base64DecodedText(std::string_view text);

// ---- URL escaping ----------------------------------------------------------

// Percent-escapes every byte except ASCII letters, digits, "-", "_" and "~",
// with upper-case hex: space is %20, "." is %2E, "%" is %25. For form and
// query values.
std::string urlEncoded(std::string_view text);

// "+" becomes a space, then every %XX escape its byte. Nothing when an escape
// is malformed or the result is not valid UTF-8.
std::optional<std::string> urlDecoded(std::string_view text);

// Escape normalisation: decodes every %XX escape, then escapes only what is
// not legal anywhere in a URL (RFC 2396), so reserved characters stay as they
// are. When the existing escapes do not decode to UTF-8 the text is escaped
// as it stands (its "%" signs become %25).
std::string toUtf8(std::string_view text);

// ---- "/"-separated paths (text only, the file system is never touched) -----

// The text before the last "/"; "" when there is none.
std::string getParent(std::string_view path);
// The text in lower case by Unicode's rules (root locale): how paths are
// compared where letter case is ignored.
std::string lowercaseString(std::string_view text);
// The text after the last "/"; the whole text when there is none.
std::string getFilename(std::string_view path);
// The text with exactly one more "/" unless it already ends with one.
std::string lastaddslash(std::string_view path);
// The text without its final character when that is "/" (one only).
std::string lastremoveslash(std::string_view path);

// ---- Quoting ---------------------------------------------------------------

// Every "'" doubled, for text placed inside single quotes in SQL; "" for an
// absent text.
std::string replacetosql(std::optional<std::string_view> text);

// Every "/" written as "\/".
std::string replacetojson(std::string_view text);

// The message with each "%@" filled in turn by the next value; marks
// beyond the values stay, values beyond the marks are dropped. A value's
// own "%@" is never filled.
std::string fillMarks(std::string text, std::initializer_list<std::string> values);

// ---- Files -----------------------------------------------------------------

// SHA-1 of the whole content of the file at `path` (despite the name) as 40
// hex characters, read in chunks of `readSize` bytes; 0 picks the default
// chunk size. Nothing when the path cannot be opened, is a folder, or a read
// fails. Never holds the whole file in memory.
std::optional<std::string> FileMD5HashCreateWithPath(const std::string& path,
                                                     size_t readSize = 0);

// The chunk size FileMD5HashCreateWithPath uses for readSize 0. 4 KiB reads
// slow the hash by over 40% (one system call per 4 KiB); 256 KiB reads run
// within about a tenth of SHA-1's in-memory speed (what is left is the copy
// out of the page cache) and still fit a core's L2 cache between read() and
// the digest. bench/FileSha1Bench.cpp measures it.
inline constexpr size_t kFileHashDefaultReadSize = 256 << 10;

}  // namespace nb
