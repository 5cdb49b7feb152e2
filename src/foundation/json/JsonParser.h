#pragma once
// Internal to the JSON codec: one parse of one document into an arena.
// Callers use objectFromJSONString / dictionaryFromString of foundation/Json.h.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/json/JsonNode.h"
#include "foundation/json/JsonValue.h"

namespace nb {

class JsonParser {
 public:
  enum class Grammar {
    Strict,   // one object or array; refuses U+0000 and noncharacters
    Lenient,  // any top-level value, optional byte-order mark, any code point
  };

  JsonParser(std::string_view input, Grammar grammar);
  JsonParser(const JsonParser&) = delete;
  JsonParser& operator=(const JsonParser&) = delete;
  ~JsonParser();

  // The document's value, or nothing on any defect. Call once. May throw
  // std::bad_alloc; the entry points turn that into nothing.
  std::optional<JsonValue> parse();

  // Why the parse failed and at which byte; for the log only.
  const char* error() const { return error_; }
  std::size_t errorOffset() const { return static_cast<std::size_t>(errorAt_ - begin_); }

 private:
  // A value under construction: the bits and kind of a JsonValue that counts
  // no reference (its node, if any, lives in this parse's arena).
  struct Raw {
    std::uint64_t bits;
    JsonKind kind;
  };
  struct RawMember {
    detail::JsonStringNode* key;
    Raw value;
  };
  struct CacheSlot {
    std::uint32_t hash;
    detail::JsonStringNode* node;
  };

  bool fail(const char* why);
  void skipWhitespace();
  bool parseValue(Raw& out, int depth);
  bool parseArray(Raw& out, int depth);
  bool parseObject(Raw& out, int depth);
  bool finishObject(Raw& out, std::size_t base);
  bool parseNumber(Raw& out);
  bool parseBigInteger(Raw& out, const char* start, bool negative);
  bool parseLiteral(Raw& out, std::string_view word, JsonKind kind, std::uint64_t bits);
  // Reads a string after its opening quote into a (cached) arena node.
  bool parseString(detail::JsonStringNode*& out, bool isKey);
  bool scanUtf8(const char*& p);
  bool parseEscapedRest(const char* start, const char* firstSpecial, detail::JsonStringNode*& out,
                        bool isKey);
  bool appendEscape(const char*& p);
  bool readHex4(const char*& p, std::uint32_t& out);
  bool allowedCodePoint(std::uint32_t cp) const;
  detail::JsonStringNode* internString(const char* bytes, std::size_t length, bool isKey);
  static constexpr std::size_t kLongValue = 32;
  detail::JsonStringNode* newString(const char* bytes, std::size_t length, std::uint32_t hash);
  void* allocate(std::size_t bytes);
  JsonValue adopt(const Raw& root);

  const char* const begin_;
  const char* p_;
  const char* const end_;
  const Grammar grammar_;
  const char* error_ = nullptr;
  const char* errorAt_ = nullptr;

  std::unique_ptr<detail::JsonArena> arena_;
  std::vector<Raw> values_;          // elements of the open arrays
  std::vector<RawMember> members_;   // members of the open objects
  std::string scratch_;              // a string being unescaped
  std::array<CacheSlot, 1024> cache_{};  // repeated texts of this document
};

}  // namespace nb
