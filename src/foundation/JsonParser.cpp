#include "foundation/JsonParser.h"

#include <charconv>
#include <cstring>
#include <limits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "foundation/Json.h"

namespace nb {

using detail::JsonArrayNode;
using detail::JsonNode;
using detail::JsonObjectNode;
using detail::JsonStringNode;

namespace {

constexpr const char* kInvalidString = "Invalid string.";
constexpr const char* kInvalidNumber = "Invalid number.";
constexpr const char* kIllegalUtf8 = "Illegal UTF8 sequence found in string.";
constexpr const char* kIllegalEscape = "Illegal \\u Unicode escape sequence.";

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

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

JsonParser::JsonParser(std::string_view input, Grammar grammar)
    : begin_(input.data()), p_(input.data()), end_(input.data() + input.size()), grammar_(grammar) {}

JsonParser::~JsonParser() = default;

std::optional<JsonValue> JsonParser::parse() {
  if (static_cast<std::size_t>(end_ - p_) > std::numeric_limits<std::uint32_t>::max()) {
    fail("Documents of 4 GiB or more are not read.");
    return std::nullopt;
  }
  arena_ = std::make_unique<detail::JsonArena>();
  if (grammar_ == Grammar::Lenient && end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0) {
    p_ += 3;
  }
  skipWhitespace();
  if (p_ == end_) {
    fail("Reached the end of the buffer.");
    return std::nullopt;
  }
  if (grammar_ == Grammar::Strict && *p_ != '{' && *p_ != '[') {
    fail("Expected either '[' or '{'.");
    return std::nullopt;
  }
  Raw root;
  if (!parseValue(root, 1)) {
    return std::nullopt;
  }
  skipWhitespace();
  if (p_ != end_) {
    fail("A valid JSON object was parsed but there were additional non-white-space characters remaining.");
    return std::nullopt;
  }
  return adopt(root);
}

JsonValue JsonParser::adopt(const Raw& root) {
  JsonValue v;
  JsonNode::placeParts(&v, root.kind, root.bits);
  if (root.kind >= JsonKind::String) {
    auto* node = reinterpret_cast<JsonNode*>(static_cast<std::uintptr_t>(root.bits));
    if (node->storage == detail::NodeStorage::Arena) {
      // The root's one reference now owns the arena.
      arena_->retain();
      arena_.release();
    }
  }
  return v;
}

bool JsonParser::fail(const char* why) {
  if (error_ == nullptr) {
    error_ = why;
    errorAt_ = p_;
  }
  return false;
}

void JsonParser::skipWhitespace() {
  while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) {
    ++p_;
  }
}

void* JsonParser::allocate(std::size_t bytes) {
  return arena_->allocate(bytes);
}

bool JsonParser::parseValue(Raw& out, int depth) {
  skipWhitespace();
  if (p_ == end_) {
    return fail("Unexpected end of input, wanted a value.");
  }
  switch (*p_) {
    case '{': return parseObject(out, depth);
    case '[': return parseArray(out, depth);
    case '"': {
      ++p_;
      JsonStringNode* s = nullptr;
      if (!parseString(s, false)) {
        return false;
      }
      out = {reinterpret_cast<std::uintptr_t>(s), JsonKind::String};
      return true;
    }
    case 't': return parseLiteral(out, "true", JsonKind::Bool, 1);
    case 'f': return parseLiteral(out, "false", JsonKind::Bool, 0);
    case 'n': return parseLiteral(out, "null", JsonKind::Null, 0);
    default:
      if (*p_ == '-' || isDigit(*p_)) {
        return parseNumber(out);
      }
      return fail("Unexpected token, wanted a value.");
  }
}

bool JsonParser::parseLiteral(Raw& out, std::string_view word, JsonKind kind, std::uint64_t bits) {
  if (static_cast<std::size_t>(end_ - p_) < word.size() || std::memcmp(p_, word.data(), word.size()) != 0) {
    return fail("Unexpected token, wanted a value.");
  }
  p_ += word.size();
  out = {bits, kind};
  return true;
}

bool JsonParser::parseArray(Raw& out, int depth) {
  if (depth > kJsonMaxDepth) {
    return fail("Nested too deeply.");
  }
  ++p_;
  const std::size_t base = values_.size();
  skipWhitespace();
  if (p_ < end_ && *p_ == ']') {
    ++p_;
  } else {
    for (;;) {
      Raw element;
      if (!parseValue(element, depth + 1)) {
        return false;
      }
      values_.push_back(element);
      skipWhitespace();
      if (p_ < end_ && *p_ == ',') {
        ++p_;
        continue;
      }
      if (p_ < end_ && *p_ == ']') {
        ++p_;
        break;
      }
      return fail("Expected a comma or a ']'.");
    }
  }
  const std::size_t n = values_.size() - base;
  auto* node = new (allocate(JsonArrayNode::bytesFor(n))) JsonArrayNode();
  node->storage = detail::NodeStorage::Arena;
  node->arena = arena_.get();
  node->count = n;
  JsonValue* slots = node->elements();
  for (std::size_t i = 0; i < n; ++i) {
    JsonNode::placeParts(&slots[i], values_[base + i].kind, values_[base + i].bits);
  }
  values_.resize(base);
  out = {reinterpret_cast<std::uintptr_t>(node), JsonKind::Array};
  return true;
}

bool JsonParser::parseObject(Raw& out, int depth) {
  if (depth > kJsonMaxDepth) {
    return fail("Nested too deeply.");
  }
  ++p_;
  const std::size_t base = members_.size();
  skipWhitespace();
  if (p_ < end_ && *p_ == '}') {
    ++p_;
    return finishObject(out, base);
  }
  for (;;) {
    skipWhitespace();
    if (p_ == end_ || *p_ != '"') {
      return fail("Expected a key.");
    }
    ++p_;
    JsonStringNode* key = nullptr;
    if (!parseString(key, true)) {
      return false;
    }
    skipWhitespace();
    if (p_ == end_ || *p_ != ':') {
      return fail("Expected ':'.");
    }
    ++p_;
    Raw value;
    if (!parseValue(value, depth + 1)) {
      return false;
    }
    members_.push_back({key, value});
    skipWhitespace();
    if (p_ < end_ && *p_ == ',') {
      ++p_;
      continue;
    }
    if (p_ < end_ && *p_ == '}') {
      ++p_;
      return finishObject(out, base);
    }
    return fail("Expected a comma or a '}'.");
  }
}

bool JsonParser::finishObject(Raw& out, std::size_t base) {
  const std::size_t n = members_.size() - base;
  if (n > std::numeric_limits<std::uint32_t>::max()) {
    return fail("Too many members.");
  }
  const std::uint32_t capacity = detail::jsonObjectCapacity(n);
  auto* node = new (allocate(JsonObjectNode::bytesFor(n, capacity))) JsonObjectNode();
  node->storage = detail::NodeStorage::Arena;
  node->arena = arena_.get();
  node->capacity = capacity;
  node->count = static_cast<std::uint32_t>(n);
  JsonMember* slots = node->members();
  for (std::size_t i = 0; i < n; ++i) {
    const RawMember& m = members_[base + i];
    auto* member = new (&slots[i]) JsonMember();
    JsonNode::placeParts(const_cast<JsonValue*>(&member->keyValue()), JsonKind::String,
                         reinterpret_cast<std::uintptr_t>(m.key));
    JsonNode::placeParts(const_cast<JsonValue*>(&member->value()), m.value.kind, m.value.bits);
  }
  node->index();
  members_.resize(base);
  out = {reinterpret_cast<std::uintptr_t>(node), JsonKind::Object};
  return true;
}

bool JsonParser::parseNumber(Raw& out) {
  const char* start = p_;
  const char* p = p_;
  const bool negative = *p == '-';
  if (negative) {
    ++p;
  }
  if (p == end_ || !isDigit(*p)) {
    return fail(kInvalidNumber);
  }
  std::uint64_t mantissa = 0;
  int digits = 0;
  if (*p == '0') {
    ++p;
  } else {
    for (; p < end_ && isDigit(*p); ++p, ++digits) {
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
    }
  }
  bool isDouble = false;
  if (p < end_ && *p == '.') {
    isDouble = true;
    if (++p == end_ || !isDigit(*p)) {
      return fail(kInvalidNumber);
    }
    while (p < end_ && isDigit(*p)) {
      ++p;
    }
  }
  if (p < end_ && (*p == 'e' || *p == 'E')) {
    isDouble = true;
    if (++p < end_ && (*p == '+' || *p == '-')) {
      ++p;
    }
    if (p == end_ || !isDigit(*p)) {
      return fail(kInvalidNumber);
    }
    while (p < end_ && isDigit(*p)) {
      ++p;
    }
  }
  // In the strict grammar a number always sits inside a container, so one
  // that runs to the end of the input belongs to a broken document.
  if (p == end_ && grammar_ == Grammar::Strict) {
    return fail(kInvalidNumber);
  }
  p_ = p;
  if (isDouble || (negative && p - start == 2 && start[1] == '0')) {  // "-0" is negative zero
    double d = 0;
    auto [ptr, ec] = std::from_chars(start, p, d);
    if (ec != std::errc() || ptr != p) {
      p_ = start;
      return fail("The value could not be represented as a 'double'.");
    }
    out = {std::bit_cast<std::uint64_t>(d), JsonKind::Double};
    return true;
  }
  if (digits > 18) {
    return parseBigInteger(out, start, negative);
  }
  if (negative) {
    out = {static_cast<std::uint64_t>(-static_cast<std::int64_t>(mantissa)), JsonKind::Int64};
  } else {
    out = {mantissa, JsonKind::Int64};
  }
  return true;
}

bool JsonParser::parseBigInteger(Raw& out, const char* start, bool negative) {
  if (negative) {
    std::int64_t value = 0;
    auto [ptr, ec] = std::from_chars(start, p_, value);
    if (ec != std::errc() || ptr != p_) {
      p_ = start;
      return fail("The value exceeded the minimum value that could be represented.");
    }
    out = {static_cast<std::uint64_t>(value), JsonKind::Int64};
    return true;
  }
  std::uint64_t value = 0;
  auto [ptr, ec] = std::from_chars(start, p_, value);
  if (ec != std::errc() || ptr != p_) {
    p_ = start;
    return fail("The value exceeded the maximum value that could be represented.");
  }
  constexpr auto kMaxSigned = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  out = {value, value > kMaxSigned ? JsonKind::UInt64 : JsonKind::Int64};
  return true;
}

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
