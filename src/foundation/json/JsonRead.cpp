// The lenient readings of values and the keyed reading helpers of the records.
#include <charconv>
#include <cmath>
#include <limits>

#include "foundation/json/Json.h"

namespace nb {
namespace {

constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view skipBlanks(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && isBlank(s[i])) {
    ++i;
  }
  return s.substr(i);
}

// The integer written at the start of `s` after blanks and an optional sign;
// 0 when there is none, saturated when it does not fit.
std::int64_t leadingInt64(std::string_view s) {
  s = skipBlanks(s);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  std::uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude);
  (void)end;
  if (ec == std::errc::result_out_of_range) {
    return negative ? kInt64Min : kInt64Max;
  }
  if (ec != std::errc()) {
    return 0;
  }
  if (negative) {
    return magnitude > static_cast<std::uint64_t>(kInt64Max) ? kInt64Min
                                                             : -static_cast<std::int64_t>(magnitude);
  }
  return magnitude > static_cast<std::uint64_t>(kInt64Max) ? kInt64Max
                                                           : static_cast<std::int64_t>(magnitude);
}

std::uint64_t leadingUInt64(std::string_view s) {
  std::string_view t = skipBlanks(s);
  if (!t.empty() && t[0] == '+') {
    t.remove_prefix(1);
  }
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  (void)end;
  if (ec == std::errc::result_out_of_range) {
    return std::numeric_limits<std::uint64_t>::max();
  }
  if (ec != std::errc()) {
    return static_cast<std::uint64_t>(leadingInt64(s));  // a negative text
  }
  return value;
}

std::int64_t doubleToInt64(double d) {
  if (std::isnan(d)) {
    return 0;
  }
  if (d >= 9223372036854775808.0) {
    return kInt64Max;
  }
  if (d < -9223372036854775808.0) {
    return kInt64Min;
  }
  return static_cast<std::int64_t>(d);
}

// The member, or nullptr when absent, null or the receiver is no object.
const JsonValue* member(const JsonValue& object, std::string_view key) {
  const JsonValue* v = object.find(key);
  return (v == nullptr || v->isNull()) ? nullptr : v;
}

}  // namespace

std::int64_t JsonValue::toInt64() const noexcept {
  switch (kind_) {
    case JsonKind::Bool:
    case JsonKind::Int64: return data_.i;
    case JsonKind::UInt64: return kInt64Max;
    case JsonKind::Double: return doubleToInt64(data_.d);
    case JsonKind::String: return leadingInt64(asString());
    default: return 0;
  }
}

std::uint64_t JsonValue::toUInt64() const noexcept {
  switch (kind_) {
    case JsonKind::UInt64: return data_.u;
    case JsonKind::Double:
      if (data_.d >= 18446744073709551616.0) {
        return std::numeric_limits<std::uint64_t>::max();
      }
      if (data_.d >= 9223372036854775808.0) {
        return static_cast<std::uint64_t>(data_.d);
      }
      return static_cast<std::uint64_t>(doubleToInt64(data_.d));
    case JsonKind::String: return leadingUInt64(asString());
    default: return static_cast<std::uint64_t>(toInt64());
  }
}

bool JsonValue::toFlag() const noexcept {
  switch (kind_) {
    case JsonKind::Bool:
    case JsonKind::Int64:
    case JsonKind::UInt64: return data_.u != 0;
    case JsonKind::Double: return data_.d != 0.0;
    case JsonKind::String: {
      std::string_view s = skipBlanks(asString());
      if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        s.remove_prefix(1);
      }
      while (!s.empty() && s[0] == '0') {
        s.remove_prefix(1);
      }
      if (s.empty()) {
        return false;
      }
      char c = s[0];
      return (c >= '1' && c <= '9') || c == 'Y' || c == 'y' || c == 'T' || c == 't';
    }
    default: return false;
  }
}

std::string JsonValue::toText() const {
  char buf[32];
  switch (kind_) {
    case JsonKind::String: return std::string(asString());
    case JsonKind::Bool: return data_.u != 0 ? "1" : "0";
    case JsonKind::Int64: {
      auto r = std::to_chars(buf, buf + sizeof buf, data_.i);
      return std::string(buf, r.ptr);
    }
    case JsonKind::UInt64: {
      auto r = std::to_chars(buf, buf + sizeof buf, data_.u);
      return std::string(buf, r.ptr);
    }
    case JsonKind::Double: {
      if (!std::isfinite(data_.d)) {
        return std::isnan(data_.d) ? "nan" : (data_.d > 0 ? "inf" : "-inf");
      }
      auto r = std::to_chars(buf, buf + sizeof buf, data_.d);
      return std::string(buf, r.ptr);
    }
    default: return std::string();
  }
}

std::int32_t jsonInt32(const JsonValue& object, std::string_view key) noexcept {
  const JsonValue* v = member(object, key);
  return v != nullptr ? v->toInt32() : 0;
}

std::int64_t jsonInt64(const JsonValue& object, std::string_view key) noexcept {
  const JsonValue* v = member(object, key);
  return v != nullptr ? v->toInt64() : 0;
}

std::uint64_t jsonUInt64(const JsonValue& object, std::string_view key) noexcept {
  const JsonValue* v = member(object, key);
  return v != nullptr ? v->toUInt64() : 0;
}

bool jsonFlag(const JsonValue& object, std::string_view key) noexcept {
  const JsonValue* v = member(object, key);
  return v != nullptr && v->toFlag();
}

std::optional<std::string> jsonText(const JsonValue& object, std::string_view key) {
  const JsonValue* v = member(object, key);
  if (v == nullptr || !v->isString()) {
    return std::nullopt;
  }
  return std::string(v->asString());
}

std::string jsonTextOrEmpty(const JsonValue& object, std::string_view key) {
  return std::string(object[key].asString());
}

std::string jsonNumberOrText(const JsonValue& object, std::string_view key) {
  const JsonValue* v = member(object, key);
  if (v == nullptr || v->isContainer()) {
    return std::string();
  }
  return v->toText();
}

std::string jsonNestedText(const JsonValue& object, std::string_view key) {
  const JsonValue* v = member(object, key);
  if (v == nullptr) {
    return std::string();
  }
  if (v->isString()) {
    return std::string(v->asString());
  }
  if (!v->isContainer()) {
    return std::string();
  }
  return JSONString(*v).value_or(std::string());
}

}  // namespace nb
