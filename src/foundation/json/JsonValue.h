#pragma once
// The immutable JSON value of the whole program: what the parser gives, what the
// writer takes, what records keep.
//
// A JsonValue is 16 bytes. Null, booleans and numbers are held inline; strings,
// arrays and objects point at immutable nodes with shared ownership, so copying a
// value is a reference count step, never a deep copy. Once made, nothing in a
// value changes: any number of threads may read and copy the same value at once.
//
// The tree of a parsed document lives in one block that the document's values
// keep alive together: keeping any part of it keeps the whole document.

#include <cstddef>
#include <cstdint>
#include <concepts>
#include <initializer_list>
#include <span>
#include <type_traits>
#include <unordered_map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nb {

namespace detail {
struct JsonNode;
}

enum class JsonKind : std::uint8_t {
  Null,
  Bool,
  Int64,   // every negative integer, and non-negative ones up to INT64_MAX
  UInt64,  // integers above INT64_MAX
  Double,  // numbers with a fraction or an exponent, and "-0"
  String,
  Array,
  Object,
};

class JsonMember;

class JsonValue {
 public:
  // The null value.
  JsonValue() noexcept : kind_(JsonKind::Null) { data_.u = 0; }
  JsonValue(std::nullptr_t) noexcept : JsonValue() {}
  JsonValue(bool b) noexcept : kind_(JsonKind::Bool) { data_.u = b ? 1 : 0; }
  template <std::signed_integral T>
    requires(!std::same_as<T, char>)
  JsonValue(T i) noexcept : kind_(JsonKind::Int64) {
    data_.i = i;
  }
  // Unsigned integers up to INT64_MAX become Int64, as the parser makes them.
  template <std::unsigned_integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char>)
  JsonValue(T u) noexcept {
    setUnsigned(static_cast<std::uint64_t>(u));
  }
  // Any double, NaN and infinities included; the writer refuses those.
  JsonValue(double d) noexcept : kind_(JsonKind::Double) { data_.d = d; }
  // Strings are taken as UTF-8 bytes and copied.
  JsonValue(std::string_view s);
  JsonValue(const std::string& s) : JsonValue(std::string_view(s)) {}
  JsonValue(const char* s) : JsonValue(std::string_view(s)) {}

  JsonValue(const JsonValue& other) noexcept;
  JsonValue(JsonValue&& other) noexcept;
  JsonValue& operator=(const JsonValue& other) noexcept;
  JsonValue& operator=(JsonValue&& other) noexcept;
  ~JsonValue();

  // An object of the given members in this order (a repeated key keeps its
  // first place and its last value), and an array of the given elements.
  static JsonValue object(std::initializer_list<std::pair<std::string_view, JsonValue>> members);
  static JsonValue array(std::initializer_list<JsonValue> elements);
  static JsonValue array(std::vector<JsonValue> elements);

  // The one shared null value, for references to "nothing here".
  static const JsonValue& null() noexcept;

  // --- Kind ---------------------------------------------------------------
  JsonKind kind() const noexcept { return kind_; }
  bool isNull() const noexcept { return kind_ == JsonKind::Null; }
  bool isBool() const noexcept { return kind_ == JsonKind::Bool; }
  bool isInt64() const noexcept { return kind_ == JsonKind::Int64; }
  bool isUInt64() const noexcept { return kind_ == JsonKind::UInt64; }
  bool isDouble() const noexcept { return kind_ == JsonKind::Double; }
  bool isInteger() const noexcept { return isInt64() || isUInt64(); }
  // Int64, UInt64 or Double; booleans are not numbers here.
  bool isNumber() const noexcept { return isInteger() || isDouble(); }
  bool isString() const noexcept { return kind_ == JsonKind::String; }
  bool isArray() const noexcept { return kind_ == JsonKind::Array; }
  bool isObject() const noexcept { return kind_ == JsonKind::Object; }
  bool isContainer() const noexcept { return isArray() || isObject(); }

  // --- Exact accessors: the value when the kind matches, else the default ---
  bool asBool() const noexcept { return isBool() && data_.u != 0; }
  // Int64, or a UInt64 reinterpreted; else 0.
  std::int64_t asInt64() const noexcept { return isInteger() ? data_.i : 0; }
  // UInt64, or an Int64 reinterpreted; else 0.
  std::uint64_t asUInt64() const noexcept { return isInteger() ? data_.u : 0; }
  // Any number converted to double; else 0.
  double asDouble() const noexcept;
  // The string's UTF-8 bytes, "" for every other kind. The view lives as long
  // as this value or any copy of it.
  std::string_view asString() const noexcept;

  // --- Containers ----------------------------------------------------------
  // Elements of an array or members of an object; 0 for every other kind.
  std::size_t size() const noexcept;
  bool empty() const noexcept { return size() == 0; }
  // An array's elements in order; empty for every other kind.
  std::span<const JsonValue> elements() const noexcept;
  // An object's members in its own order (today: first appearance in the text
  // or insertion order, but no caller may depend on it); empty otherwise.
  std::span<const JsonMember> members() const noexcept;
  // The element at `index`, or the shared null when out of range (negative
  // included) or no array. A template so that v[0] is not ambiguous with the
  // key look-up.
  template <std::integral I>
    requires(!std::same_as<I, bool>)
  const JsonValue& operator[](I index) const noexcept {
    if constexpr (std::is_signed_v<I>) {
      if (index < 0) {
        return null();
      }
    }
    return at(static_cast<std::size_t>(index));
  }
  const JsonValue& at(std::size_t index) const noexcept;
  // The member's value for exactly this key (case-sensitive), or nullptr when
  // absent or when this is not an object.
  const JsonValue* find(std::string_view key) const noexcept;
  // The member's value, or the shared null when absent or no object.
  const JsonValue& operator[](std::string_view key) const noexcept;
  const JsonValue& operator[](const char* key) const noexcept {
    return (*this)[std::string_view(key)];
  }
  bool contains(std::string_view key) const noexcept { return find(key) != nullptr; }

  // --- Lenient readings, the rules of the JSON records ---------------------
  // Integer reading: an integer gives itself, a double its integer part
  // (saturated; NaN gives 0), a boolean 1 or 0, a string the integer written at
  // its start after blanks (0 when none; saturated), anything else 0.
  std::int64_t toInt64() const noexcept;
  // The integer reading truncated through 32 bits, as 32-bit fields keep it.
  std::int32_t toInt32() const noexcept { return static_cast<std::int32_t>(toInt64()); }
  // Like toInt64, but a UInt64 (or a string of one) keeps its full value.
  std::uint64_t toUInt64() const noexcept;
  // Flag reading: a number or boolean is true when not zero; a string is true
  // when, after blanks, a sign and leading zeros, it starts with 1-9, Y, y, T
  // or t; anything else is false.
  bool toFlag() const noexcept;
  // Text reading: a string as it is, an integer in decimal, a double in its
  // shortest round-trip form, a boolean "1" or "0"; anything else "".
  std::string toText() const;
  // Byte length of a string; 0 for every other kind (null included), so that
  // a test of the length treats null as an empty text.
  std::size_t textLength() const noexcept { return asString().size(); }

  // Deep equality: same kind and value; objects compare as sets of members.
  // Doubles compare by value (so -0.0 == 0.0) except that NaN equals NaN.
  friend bool operator==(const JsonValue& a, const JsonValue& b) noexcept;

 private:
  friend struct detail::JsonNode;
  friend class JsonParser;
  friend class JsonObjectBuilder;
  friend class JsonArrayBuilder;

  void setUnsigned(std::uint64_t u) noexcept {
    if (u > static_cast<std::uint64_t>(INT64_MAX)) {
      kind_ = JsonKind::UInt64;
    } else {
      kind_ = JsonKind::Int64;
    }
    data_.u = u;
  }
  bool holdsNode() const noexcept { return kind_ >= JsonKind::String; }

  union Data {
    std::int64_t i;
    std::uint64_t u;
    double d;
    detail::JsonNode* node;
  } data_;
  JsonKind kind_;
};

// One member of an object.
class JsonMember {
 public:
  std::string_view key() const noexcept { return key_.asString(); }
  // The key as a shared string value.
  const JsonValue& keyValue() const noexcept { return key_; }
  const JsonValue& value() const noexcept { return value_; }

 private:
  friend struct detail::JsonNode;
  friend class JsonParser;
  friend class JsonObjectBuilder;
  JsonValue key_;
  JsonValue value_;
};

// Builds an object for writing, members in insertion order:
//   JsonValue answer = JsonObjectBuilder().set("error", 0).set("message", text).build();
// Setting a key again replaces its value in place. Not thread-safe; the value
// it builds is.
class JsonObjectBuilder {
 public:
  JsonObjectBuilder() = default;
  JsonObjectBuilder& set(std::string_view key, JsonValue value) &;
  JsonObjectBuilder&& set(std::string_view key, JsonValue value) && {
    return std::move(set(key, std::move(value)));
  }
  // Sets `key` to the value parsed (strictly) from `jsonText` when that parse
  // gives a value; leaves the key out otherwise (empty or broken text). This is
  // how records give back the nested JSON they keep as text.
  JsonObjectBuilder& setNestedJson(std::string_view key, std::string_view jsonText) &;
  JsonObjectBuilder&& setNestedJson(std::string_view key, std::string_view jsonText) && {
    return std::move(setNestedJson(key, jsonText));
  }
  bool contains(std::string_view key) const;
  std::size_t size() const noexcept { return members_.size(); }
  // The finished object; the builder is left empty and may be reused.
  JsonValue build();

 private:
  // Position of a key among members_, or members_.size().
  std::size_t position(std::string_view key) const;

  std::vector<std::pair<JsonValue, JsonValue>> members_;
  // Key -> position, kept once the object outgrows a plain scan. The views
  // point into the key nodes, which do not move.
  mutable std::unordered_map<std::string_view, std::size_t> index_;
};

// Builds an array for writing: JsonArrayBuilder().push(1).push("a").build().
class JsonArrayBuilder {
 public:
  JsonArrayBuilder() = default;
  JsonArrayBuilder& push(JsonValue value) &;
  JsonArrayBuilder&& push(JsonValue value) && { return std::move(push(std::move(value))); }
  void reserve(std::size_t n) { elements_.reserve(n); }
  std::size_t size() const noexcept { return elements_.size(); }
  // The finished array; the builder is left empty and may be reused.
  JsonValue build();

 private:
  std::vector<JsonValue> elements_;
};

}  // namespace nb
