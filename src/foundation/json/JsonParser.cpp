#include "foundation/json/JsonParser.h"

#include <charconv>
#include <cstring>
#include <limits>

#include "foundation/json/Json.h"

namespace nb {

using detail::JsonArrayNode;
using detail::JsonNode;
using detail::JsonObjectNode;
using detail::JsonStringNode;

namespace {

constexpr const char* kInvalidNumber = "Invalid number.";

bool isDigit(char c) {
  return c >= '0' && c <= '9';
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
  // A tree takes about twice its text (node headers and tables).
  arena_ = std::make_unique<detail::JsonArena>(static_cast<std::size_t>(end_ - p_) * 2 + 128);
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

}  // namespace nb
