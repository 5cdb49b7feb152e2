// Base64, URL escaping, path cutting and quoting of StringHelpers.h. The
// digests live in Digests.cpp and the file SHA-1 in FileSha1.cpp.

#include "foundation/text/StringHelpers.h"

#include <array>

namespace nb {

namespace {

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of each byte in the Base64 alphabet, or -1.
constexpr std::array<int8_t, 256> makeBase64Values() {
  std::array<int8_t, 256> values{};
  values.fill(-1);
  for (int i = 0; i < 64; ++i) {
    values[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<int8_t>(i);
  }
  return values;
}
constexpr auto kBase64Values = makeBase64Values();

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1FU;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0FU;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07U;
    } else {
      return false;
    }
    if (text.size() - i <= extra) {
      return false;
    }
    for (size_t k = 1; k <= extra; ++k) {
      const auto cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0U) != 0x80U) {
        return false;
      }
      cp = (cp << 6) | (cc & 0x3FU);
    }
    const uint32_t minimum = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes every %XX escape; nothing for a "%" not followed by two hex digits.
std::optional<std::string> percentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) {
      return std::nullopt;
    }
    const int hi = hexValue(text[i + 1]);
    const int lo = hexValue(text[i + 2]);
    if (hi < 0 || lo < 0) {
      return std::nullopt;
    }
    out.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  return out;
}

bool isAsciiAlnum(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Characters RFC 2396 allows unescaped somewhere in a URL besides letters and
// digits: the marks and the reserved set.
bool isUrlLegalMark(unsigned char c) {
  constexpr std::string_view kLegal = "-_.!~*'();/?:@&=+$,";
  return kLegal.find(static_cast<char>(c)) != std::string_view::npos;
}

template <typename Keep>
std::string percentEscaped(std::string_view text, Keep keep) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (unsigned char c : text) {
    if (keep(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

std::string replaceAll(std::string_view text, char from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == from) {
      out.append(to);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> base64Encoded(std::string_view bytes) {
  if (bytes.empty()) {
    return std::nullopt;
  }
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  auto at = [&](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[k])); };
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
    out.push_back(kBase64Alphabet[(v >> 18) & 63]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.push_back(kBase64Alphabet[(v >> 6) & 63]);
    out.push_back(kBase64Alphabet[v & 63]);
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    const uint32_t v = at(i) << 16 | (rest == 2 ? at(i + 1) << 8 : 0);
    out.push_back(kBase64Alphabet[(v >> 18) & 63]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.push_back(rest == 2 ? kBase64Alphabet[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

std::optional<std::string> base64Decoded(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3 + 2);
  std::array<uint32_t, 4> group{};
  size_t pending = 0;
  for (unsigned char c : text) {
    const int v = kBase64Values[c];
    if (v < 0) {
      continue;
    }
    group[pending++] = static_cast<uint32_t>(v);
    if (pending == 4) {
      out.push_back(static_cast<char>(group[0] << 2 | group[1] >> 4));
      out.push_back(static_cast<char>((group[1] << 4 | group[2] >> 2) & 0xFF));
      out.push_back(static_cast<char>((group[2] << 6 | group[3]) & 0xFF));
      pending = 0;
    }
  }
  if (pending >= 2) {
    out.push_back(static_cast<char>(group[0] << 2 | group[1] >> 4));
  }
  if (pending == 3) {
    out.push_back(static_cast<char>((group[1] << 4 | group[2] >> 2) & 0xFF));
  }
  if (out.empty()) {
    return std::nullopt;
  }
  return out;
}

std::optional<std::string> base64DecodedText(std::string_view text) {
  auto bytes = base64Decoded(text);
  if (!bytes || !isValidUtf8(*bytes)) {
    return std::nullopt;
  }
  return bytes;
}

std::string urlEncoded(std::string_view text) {
  return percentEscaped(text, [](unsigned char c) {
    return isAsciiAlnum(c) || c == '-' || c == '_' || c == '~';
  });
}

std::optional<std::string> urlDecoded(std::string_view text) {
  auto decoded = percentDecoded(replaceAll(text, '+', " "));
  if (!decoded || !isValidUtf8(*decoded)) {
    return std::nullopt;
  }
  return decoded;
}

std::string toUtf8(std::string_view text) {
  const auto decoded = percentDecoded(text);
  const std::string_view source =
      decoded && isValidUtf8(*decoded) ? std::string_view(*decoded) : text;
  return percentEscaped(source,
                        [](unsigned char c) { return isAsciiAlnum(c) || isUrlLegalMark(c); });
}

std::string getParent(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

std::string getFilename(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string lastaddslash(std::string_view path) {
  std::string out(path);
  if (out.empty() || out.back() != '/') {
    out.push_back('/');
  }
  return out;
}

std::string lastremoveslash(std::string_view path) {
  if (!path.empty() && path.back() == '/') {
    path.remove_suffix(1);
  }
  return std::string(path);
}

std::string replacetosql(std::optional<std::string_view> text) {
  return text ? replaceAll(*text, '\'', "''") : std::string();
}

std::string replacetojson(std::string_view text) { return replaceAll(text, '/', "\\/"); }

std::string fillMarks(std::string text, std::initializer_list<std::string> values) {
  size_t from = 0;
  for (const auto& value : values) {
    const auto mark = text.find("%@", from);
    if (mark == std::string::npos) break;
    text.replace(mark, 2, value);
    from = mark + value.size();
  }
  return text;
}

}  // namespace nb
