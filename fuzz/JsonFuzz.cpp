// libFuzzer target for the JSON codec: whatever the input, both readers give a
// value or nothing without crashing; what they give writes out, and the text
// written reads back to an equal value that writes out the same text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "foundation/json/Json.h"
#include "platform/Log.h"

namespace {

void check(bool ok) {
  if (!ok) {
    __builtin_trap();
  }
}

// Equal as JSON text can carry it: a double with no fraction is written
// without one ("%.17g" of 100.0 is "100") and reads back as an integer.
bool sameJson(const nb::JsonValue& a, const nb::JsonValue& b) {
  if (a.isNumber() && b.isNumber() && (a.isDouble() || b.isDouble())) {
    return a.asDouble() == b.asDouble();
  }
  if (a.kind() != b.kind() || a.size() != b.size()) {
    return false;
  }
  if (a.isArray()) {
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (!sameJson(a[i], b[i])) {
        return false;
      }
    }
    return true;
  }
  if (a.isObject()) {
    for (const nb::JsonMember& m : a.members()) {
      const nb::JsonValue* other = b.find(m.key());
      if (other == nullptr || !sameJson(m.value(), *other)) {
        return false;
      }
    }
    return true;
  }
  return a == b;
}

// Writes `v`, reads the text back with `read` and checks the two agree.
template <class Reader>
void roundTrip(const nb::JsonValue& v, Reader read) {
  std::optional<std::string> written = nb::JSONString(v);
  check(written.has_value());
  std::optional<nb::JsonValue> again = read(*written);
  check(again.has_value() && sameJson(*again, v));
  check(nb::JSONString(*again) == written);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The lenient reader logs every refusal; that would drown the fuzzer.
  nb::platform::logger()->set_level(spdlog::level::off);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::optional<nb::JsonValue> strict = nb::objectFromJSONData(input);
  std::optional<nb::JsonValue> lenient = nb::dictionaryFromData(input);
  if (strict) {
    // The lenient grammar is a superset of the strict one.
    check(lenient.has_value() && *lenient == *strict);
    roundTrip(*strict, [](std::string_view t) { return nb::objectFromJSONString(t); });
  }
  if (lenient && (lenient->isContainer() || lenient->isString())) {
    roundTrip(*lenient, [](std::string_view t) { return nb::dictionaryFromString(t); });
  }
  return 0;
}
