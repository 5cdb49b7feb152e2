// The string half of the JSON parser: scanning, UTF-8 checks, escapes and the
// cache of repeated texts.
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "foundation/json/JsonParser.h"

namespace nb {

using detail::JsonStringNode;

namespace {

constexpr const char* kInvalidString = "Invalid string.";
constexpr const char* kIllegalUtf8 = "Illegal UTF8 sequence found in string.";
constexpr const char* kIllegalEscape = "Illegal \\u Unicode escape sequence.";

int hexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  c = static_cast<char>(c | 0x20);
  return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Where the next quote, backslash, control byte or non-ASCII byte of [p, end)
// is, or `end`.
const char* skipPlain(const char* p, const char* end) {
#ifdef __SSE2__
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i space = _mm_set1_epi8(0x20);
  while (end - p >= 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // A signed compare with 0x20 catches both the control bytes and 0x80-0xFF.
    __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)),
                                   _mm_cmplt_epi8(v, space));
    int mask = _mm_movemask_epi8(special);
    if (mask != 0) {
      return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
    p += 16;
  }
#endif
  while (p < end) {
    auto c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) {
      return p;
    }
    ++p;
  }
  return end;
}

}  // namespace

bool JsonParser::parseString(JsonStringNode*& out, bool isKey) {
  const char* start = p_;
  const char* p = p_;
  for (;;) {
    p = skipPlain(p, end_);
    if (p == end_) {
      return fail(kInvalidString);
    }
    auto c = static_cast<unsigned char>(*p);
    if (c == '"') {
      out = internString(start, static_cast<std::size_t>(p - start), isKey);
      p_ = p + 1;
      return true;
    }
    if (c == '\\') {
      return parseEscapedRest(start, p, out, isKey);
    }
    if (c < 0x20) {
      p_ = p;
      return fail("Invalid character < 0x20 found in string.");
    }
    if (!scanUtf8(p)) {
      return false;
    }
  }
}

bool JsonParser::parseEscapedRest(const char* start, const char* firstSpecial, JsonStringNode*& out,
                                  bool isKey) {
  scratch_.assign(start, firstSpecial);
  const char* p = firstSpecial;
  for (;;) {
    const char* run = p;
    p = skipPlain(p, end_);
    scratch_.append(run, p);
    if (p == end_) {
      return fail(kInvalidString);
    }
    auto c = static_cast<unsigned char>(*p);
    if (c == '"') {
      out = internString(scratch_.data(), scratch_.size(), isKey);
      p_ = p + 1;
      return true;
    }
    if (c == '\\') {
      if (!appendEscape(p)) {
        return false;
      }
      continue;
    }
    if (c < 0x20) {
      p_ = p;
      return fail("Invalid character < 0x20 found in string.");
    }
    const char* sequence = p;
    if (!scanUtf8(p)) {
      return false;
    }
    scratch_.append(sequence, p);
  }
}

bool JsonParser::appendEscape(const char*& p) {
  if (++p == end_) {
    return fail(kInvalidString);
  }
  const char c = *p++;
  switch (c) {
    case '"': scratch_.push_back('"'); return true;
    case '\\': scratch_.push_back('\\'); return true;
    case '/': scratch_.push_back('/'); return true;
    case 'b': scratch_.push_back('\b'); return true;
    case 'f': scratch_.push_back('\f'); return true;
    case 'n': scratch_.push_back('\n'); return true;
    case 'r': scratch_.push_back('\r'); return true;
    case 't': scratch_.push_back('\t'); return true;
    case 'u': break;
    default: p_ = p; return fail("Invalid escape sequence found in string.");
  }
  std::uint32_t cp = 0;
  if (!readHex4(p, cp)) {
    return false;
  }
  if (cp >= 0xD800 && cp <= 0xDBFF) {
    if (end_ - p < 2 || p[0] != '\\' || p[1] != 'u') {
      p_ = p;
      return fail("Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape sequence.");
    }
    p += 2;
    std::uint32_t low = 0;
    if (!readHex4(p, low)) {
      return false;
    }
    if (low < 0xDC00 || low > 0xDFFF) {
      p_ = p;
      return fail(kIllegalEscape);
    }
    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
  } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
    p_ = p;
    return fail(kIllegalEscape);
  }
  if (!allowedCodePoint(cp)) {
    p_ = p;
    return fail(kIllegalEscape);
  }
  appendUtf8(scratch_, cp);
  return true;
}

bool JsonParser::readHex4(const char*& p, std::uint32_t& out) {
  if (end_ - p < 4) {
    p_ = p;
    return fail(kInvalidString);
  }
  out = 0;
  for (int i = 0; i < 4; ++i) {
    int digit = hexValue(p[i]);
    if (digit < 0) {
      p_ = p + i;
      return fail("Unexpected character found in \\u Unicode escape sequence.");
    }
    out = (out << 4) | static_cast<std::uint32_t>(digit);
  }
  p += 4;
  return true;
}

bool JsonParser::allowedCodePoint(std::uint32_t cp) const {
  if (grammar_ == Grammar::Lenient) {
    return true;
  }
  return cp != 0 && !(cp >= 0xFDD0 && cp <= 0xFDEF) && (cp & 0xFFFE) != 0xFFFE;
}

// Checks the UTF-8 sequence at `p` (a byte of 0x80 or more) and steps over it.
bool JsonParser::scanUtf8(const char*& p) {
  std::uint32_t cp = 0;
  const int length = detail::decodeUtf8(p, static_cast<std::size_t>(end_ - p), cp);
  if (length < 0) {
    p_ = p;
    return fail("End of buffer reached while parsing UTF8 in string.");
  }
  if (length == 0 || !allowedCodePoint(cp)) {
    p_ = p;
    return fail(kIllegalUtf8);
  }
  p += length;
  return true;
}

// Texts that repeat in a document (the keys of every record of a list, kinds,
// states) are made once: a small table of recent texts, four probes deep.
// Long values (hashes, paths, URLs) rarely repeat; they skip the table and
// the hash, which only keys need.
JsonStringNode* JsonParser::internString(const char* bytes, std::size_t length, bool isKey) {
  if (length == 0) {
    return static_cast<JsonStringNode*>(detail::emptyStringNode());
  }
  if (!isKey && length > kLongValue) {
    return newString(bytes, length, 0);
  }
  const std::uint32_t hash = detail::jsonHash(bytes, length);
  const std::uint32_t step = static_cast<std::uint32_t>(length) + 8;
  CacheSlot* first = &cache_[hash & 1023];
  for (std::uint32_t i = 0; i < 4; ++i) {
    CacheSlot& slot = cache_[(hash + i * step) & 1023];
    if (slot.node == nullptr) {
      slot = {hash, newString(bytes, length, hash)};
      return slot.node;
    }
    if (slot.hash == hash && slot.node->length == length && std::memcmp(slot.node->chars(), bytes, length) == 0) {
      return slot.node;
    }
  }
  *first = {hash, newString(bytes, length, hash)};
  return first->node;
}

JsonStringNode* JsonParser::newString(const char* bytes, std::size_t length, std::uint32_t hash) {
  auto* node = new (allocate(JsonStringNode::bytesFor(length))) JsonStringNode();
  node->storage = detail::NodeStorage::Arena;
  node->arena = arena_.get();
  node->hash = hash;
  node->length = static_cast<std::uint32_t>(length);
  std::memcpy(node->chars(), bytes, length);
  node->chars()[length] = '\0';
  return node;
}

}  // namespace nb
