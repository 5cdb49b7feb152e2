// The compact JSON writer.
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "foundation/json/Json.h"
#include "foundation/json/JsonNode.h"

namespace nb {
namespace {

using detail::JsonNode;
using detail::JsonStringNode;

// Escape of each byte below 0x80: 0 goes out as it is, 'u' as \u00xx,
// anything else as a backslash and that character.
constexpr std::array<char, 128> kEscapes = [] {
  std::array<char, 128> table{};
  for (int c = 0; c < 0x20; ++c) {
    table[c] = 'u';
  }
  table['\b'] = 'b';
  table['\t'] = 't';
  table['\n'] = 'n';
  table['\f'] = 'f';
  table['\r'] = 'r';
  table['"'] = '"';
  table['\\'] = '\\';
  return table;
}();

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}

  bool write(const JsonValue& v, int depth);

 private:
  bool writeString(const JsonValue& v);
  bool writeEscaped(std::string_view s, bool checkUtf8);
  bool writeDouble(double d);
  template <class Integer>
  void writeInteger(Integer i) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, i);
    out_.append(buf, r.ptr);
  }

  // A text that occurs again in one write (the same shared string in many
  // records) is escaped once and copied afterwards.
  struct Repeat {
    const JsonNode* node = nullptr;
    std::size_t offset = 0;
    std::size_t length = 0;
  };
  std::string& out_;
  std::array<Repeat, 1024> repeats_{};
};

bool Writer::write(const JsonValue& v, int depth) {
  switch (v.kind()) {
    case JsonKind::Null: out_.append("null"); return true;
    case JsonKind::Bool: out_.append(v.asBool() ? "true" : "false"); return true;
    case JsonKind::Int64: writeInteger(v.asInt64()); return true;
    case JsonKind::UInt64: writeInteger(v.asUInt64()); return true;
    case JsonKind::Double: return writeDouble(v.asDouble());
    case JsonKind::String: return writeString(v);
    default: break;
  }
  // What we write must read back, so the readers' depth bound holds here too.
  if (depth > kJsonMaxDepth) {
    return false;
  }
  if (v.isArray()) {
    out_.push_back('[');
    bool first = true;
    for (const JsonValue& e : v.elements()) {
      if (!first) {
        out_.push_back(',');
      }
      first = false;
      if (!write(e, depth + 1)) {
        return false;
      }
    }
    out_.push_back(']');
    return true;
  }
  out_.push_back('{');
  bool first = true;
  for (const JsonMember& m : v.members()) {
    if (!first) {
      out_.push_back(',');
    }
    first = false;
    if (!writeString(m.keyValue())) {
      return false;
    }
    out_.push_back(':');
    if (!write(m.value(), depth + 1)) {
      return false;
    }
  }
  out_.push_back('}');
  return true;
}

bool Writer::writeDouble(double d) {
  if (!std::isfinite(d)) {
    return false;  // JSON has no NaN or infinity
  }
  char buf[32];
  // The "%.17g" form, in the C locale whatever the process locale.
  auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 17);
  out_.append(buf, r.ptr);
  return true;
}

bool Writer::writeString(const JsonValue& v) {
  const auto* node = detail::asStringNode(v);
  const auto address = reinterpret_cast<std::uintptr_t>(node);
  Repeat& slot = repeats_[((address >> 4) + ((address >> 21) ^ (address >> 9))) & 1023];
  if (slot.node == node) {
    out_.append(out_, slot.offset, slot.length);
    return true;
  }
  const std::size_t offset = out_.size();
  // Parsed texts were checked by the reader; texts made by code are checked
  // here, so the output is always well-formed UTF-8.
  if (!writeEscaped(node->view(), node->storage != detail::NodeStorage::Arena)) {
    return false;
  }
  slot = {node, offset, out_.size() - offset};
  return true;
}

bool Writer::writeEscaped(std::string_view s, bool checkUtf8) {
  out_.push_back('"');
  std::size_t run = 0;  // start of the bytes not yet copied
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) {
      std::uint32_t cp = 0;
      const int length = checkUtf8 ? detail::decodeUtf8(s.data() + i, s.size() - i, cp) : 1;
      if (length <= 0) {
        return false;
      }
      i += static_cast<std::size_t>(length);
      continue;
    }
    const char escape = kEscapes[c];
    if (escape == 0) {
      ++i;
      continue;
    }
    out_.append(s.data() + run, i - run);
    if (escape == 'u') {
      static constexpr char kHex[] = "0123456789abcdef";
      const char u[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
      out_.append(u, 6);
    } else {
      const char e[2] = {'\\', escape};
      out_.append(e, 2);
    }
    run = ++i;
  }
  out_.append(s.data() + run, s.size() - run);
  out_.push_back('"');
  return true;
}

}  // namespace

std::optional<std::string> JSONString(const JsonValue& value) {
  if (!value.isContainer() && !value.isString()) {
    return std::nullopt;
  }
  try {
    std::string out;
    out.reserve(256);
    Writer writer(out);
    if (!writer.write(value, 1)) {
      return std::nullopt;
    }
    return out;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace nb
