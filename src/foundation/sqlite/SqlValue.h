#pragma once
// A value bound to a "?" or ":name" parameter of a statement, or read back
// from a column as it is stored.
//
// Binding keeps the stored bytes those of the equivalent literal SQL: texts
// stay texts, every integer kind (signed or unsigned, bool) is stored as a
// 64-bit integer, a missing C string (nullptr) binds as the empty text, not
// NULL. Only an explicit SqlNull binds NULL. Unsigned values above INT64_MAX
// wrap to negative integers; no stored size or time comes near that.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

struct sqlite3_stmt;

namespace nb {

using SqlBlob = std::vector<uint8_t>;
struct SqlNull {
  bool operator==(const SqlNull&) const = default;
};

class SqlValue {
 public:
  using Storage = std::variant<SqlNull, int64_t, double, std::string, SqlBlob>;

  SqlValue() = default;  // NULL
  SqlValue(SqlNull) {}
  SqlValue(std::nullptr_t) = delete;  // ambiguous: say SqlNull{} or ""
  template <typename I>
    requires std::is_integral_v<I>
  SqlValue(I v) : v_(static_cast<int64_t>(v)) {}
  SqlValue(double v) : v_(v) {}
  SqlValue(std::string v) : v_(std::move(v)) {}
  SqlValue(std::string_view v) : v_(std::string(v)) {}
  SqlValue(const char* v) : v_(std::string(v != nullptr ? v : "")) {}
  // A missing text binds as the empty text.
  SqlValue(const std::optional<std::string>& v) : v_(v.value_or(std::string())) {}
  SqlValue(SqlBlob v) : v_(std::move(v)) {}

  const Storage& storage() const { return v_; }
  bool isNull() const { return std::holds_alternative<SqlNull>(v_); }
  bool operator==(const SqlValue&) const = default;

 private:
  Storage v_;
};

using SqlArgs = std::vector<SqlValue>;
using SqlNamedArgs = std::map<std::string, SqlValue>;

// Binds `value` to parameter `index` (1-based). Answers SQLite's result code.
int bindSqlValue(sqlite3_stmt* statement, int index, const SqlValue& value);

}  // namespace nb
