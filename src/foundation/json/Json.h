#pragma once
// The JSON codec: the strict reader, the compact writer, the lenient reader for
// bodies that may be any JSON value, and the reading helpers of the records.
//
// Every operation here reports failure as nothing (an empty optional, "" or a
// default), never as a partial result, and raises nothing. All are safe to call
// from any thread at any time; they keep no shared state.
//
// Numbers are read and written in the C locale whatever the process locale.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "foundation/json/JsonValue.h"
#include "foundation/json/BaseForJosnOrObject.h"

namespace nb {

// Deepest nesting of arrays and objects the readers accept; deeper documents
// give nothing (so hostile input cannot exhaust the stack).
inline constexpr int kJsonMaxDepth = 512;

// --- Strict reader -----------------------------------------------------------
// The document must be exactly one object or array, with only space, tab, CR
// and LF around it (no byte-order mark). Strings must be well-formed UTF-8;
// \u escapes must pair their surrogates; U+0000, U+FDD0..U+FDEF and code points
// ending in FFFE/FFFF are refused, raw or escaped. Integers beyond the 64-bit
// ranges and doubles beyond the double range fail. A repeated key keeps its
// last value. Any defect gives nothing.
std::optional<JsonValue> objectFromJSONString(std::string_view text);
// The same on UTF-8 bytes.
std::optional<JsonValue> objectFromJSONData(std::string_view bytes);
std::optional<JsonValue> objectFromJSONData(std::span<const std::uint8_t> bytes);

// --- Writer ------------------------------------------------------------------
// The compact text (no whitespace) of an object, an array or a string (a
// string gives a quoted JSON string). Nothing for any other kind of receiver,
// and nothing when a NaN or infinite double occurs anywhere inside.
// Escapes: \" \\ \b \t \n \f \r, other bytes below 0x20 as \u00xx (lower-case
// hex); "/" , 0x7F and non-ASCII bytes go out as they are. Doubles take the
// "%.17g" form, integers plain decimal, booleans true/false.
std::optional<std::string> JSONString(const JsonValue& value);

// --- Lenient reader ----------------------------------------------------------
// Standard JSON with a top-level value of any kind (a bare number, string,
// true, false or null too), whitespace around it, an optional leading UTF-8
// byte-order mark. Unlike the strict reader it takes U+0000 and noncharacters.
// Every web API answer is read through it. Gives nothing for empty or broken
// input, and logs why at warn level.
std::optional<JsonValue> dictionaryFromString(std::string_view text);
std::optional<JsonValue> dictionaryFromData(std::string_view bytes);
std::optional<JsonValue> dictionaryFromData(std::span<const std::uint8_t> bytes);

// --- Reading helpers for records -----------------------------------------------
// Each reads the member `key` of `object`. All are total: a receiver that is
// not an object, an absent key and a JSON null count as absent and give the
// default (0, false, nothing or "").

// 32-bit integer reading: numbers give their integer part, booleans 1/0, a
// text the integer at its start; truncated through 32 bits.
std::int32_t jsonInt32(const JsonValue& object, std::string_view key) noexcept;
// The same, 64 bits (sizes, counts, library ids, datelines).
std::int64_t jsonInt64(const JsonValue& object, std::string_view key) noexcept;
// The same, unsigned 64 bits (a UInt64 keeps its full value).
std::uint64_t jsonUInt64(const JsonValue& object, std::string_view key) noexcept;
// Flag reading: a number or boolean not zero, or a text such as "1" or "true".
bool jsonFlag(const JsonValue& object, std::string_view key) noexcept;
// The member when it is a string; nothing for anything else.
std::optional<std::string> jsonText(const JsonValue& object, std::string_view key);
// The member when it is a string, else "" (absent, null or another kind).
std::string jsonTextOrEmpty(const JsonValue& object, std::string_view key);
// A string as it is, a number (or boolean) as its decimal text, else "".
// For text fields the service sometimes sends as numbers.
std::string jsonNumberOrText(const JsonValue& object, std::string_view key);
// A field that keeps nested JSON as text: an object or array as its compact
// JSON text, a string unchanged, anything else (or a failed write) "".
std::string jsonNestedText(const JsonValue& object, std::string_view key);

}  // namespace nb
