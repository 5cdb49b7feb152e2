#include "http/text/TextEncoding.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <cctype>
#include <memory>
#include <mutex>
#include <vector>

#include "http/request/ASIHTTPRequest.h"

namespace nb::http {

namespace {

constexpr uint64_t kFirstOwnNumber = 0x10000;

struct Known {
  uint64_t number;
  const char* icuName;
};
constexpr Known kKnown[] = {
    {ASIASCIIStringEncoding, "US-ASCII"},
    {ASIUTF8StringEncoding, "UTF-8"},
    {ASIISOLatin1StringEncoding, "ISO-8859-1"},
    {ASIUTF16StringEncoding, "UTF-16"},
    {ASIWindowsCP1252StringEncoding, "windows-1252"},
};

std::mutex& tableLock() {
  static std::mutex lock;
  return lock;
}
std::vector<std::string>& ownNames() {
  static std::vector<std::string> names;
  return names;
}

struct CloseConverter {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, CloseConverter>;

std::optional<std::string> icuNameOf(uint64_t encoding) {
  for (const Known& known : kKnown) {
    if (known.number == encoding) return known.icuName;
  }
  std::lock_guard lock(tableLock());
  if (encoding < kFirstOwnNumber || encoding - kFirstOwnNumber >= ownNames().size()) {
    return std::nullopt;
  }
  return ownNames()[encoding - kFirstOwnNumber];
}

}  // namespace

std::optional<uint64_t> encodingForIANACharSetName(std::string_view name) {
  UErrorCode status = U_ZERO_ERROR;
  const std::string wanted(name);
  const char* canonical = ucnv_getCanonicalName(wanted.c_str(), "IANA", &status);
  if (U_FAILURE(status) || canonical == nullptr) {
    status = U_ZERO_ERROR;
    canonical = ucnv_getCanonicalName(wanted.c_str(), "MIME", &status);
  }
  if (U_FAILURE(status) || canonical == nullptr) return std::nullopt;
  const std::string icu = canonical;
  for (const Known& known : kKnown) {
    status = U_ZERO_ERROR;
    const char* knownCanonical = ucnv_getCanonicalName(known.icuName, "IANA", &status);
    if (U_SUCCESS(status) && knownCanonical != nullptr && icu == knownCanonical) {
      return known.number;
    }
  }
  std::lock_guard lock(tableLock());
  auto& names = ownNames();
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == icu) return kFirstOwnNumber + i;
  }
  names.push_back(icu);
  return kFirstOwnNumber + names.size() - 1;
}

std::string latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const unsigned char c : bytes) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

namespace {

// `bytes` from one ICU converter's charset to another's. Bytes that are not
// valid in the source, or characters with no form in the target, end the
// conversion (nothing) instead of turning into substitutes.
std::optional<std::string> convert(std::string_view bytes, const char* fromName,
                                   const char* toName) {
  UErrorCode status = U_ZERO_ERROR;
  Converter from(ucnv_open(fromName, &status));
  if (U_FAILURE(status)) return std::nullopt;
  Converter to(ucnv_open(toName, &status));
  if (U_FAILURE(status)) return std::nullopt;
  ucnv_setToUCallBack(from.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ucnv_setFromUCallBack(to.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  std::string out(bytes.size() * 4 + 8, '\0');
  char* target = out.data();
  const char* source = bytes.data();
  ucnv_convertEx(to.get(), from.get(), &target, out.data() + out.size(), &source,
                 bytes.data() + bytes.size(), nullptr, nullptr, nullptr, nullptr, true, true,
                 &status);
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<size_t>(target - out.data()));
  return out;
}

}  // namespace

std::optional<std::string> decodeText(std::string_view bytes, uint64_t encoding) {
  if (encoding == ASIISOLatin1StringEncoding) return latin1ToUtf8(bytes);
  const auto name = icuNameOf(encoding);
  if (!name) return std::nullopt;
  return convert(bytes, name->c_str(), "UTF-8");
}

std::optional<std::string> encodeText(std::string_view text, uint64_t encoding) {
  const auto name = icuNameOf(encoding);
  if (!name) return std::nullopt;
  return convert(text, "UTF-8", name->c_str());
}

std::optional<std::string> IANACharSetNameOfEncoding(uint64_t encoding) {
  const auto name = icuNameOf(encoding);
  if (!name) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  const char* standard = ucnv_getStandardName(name->c_str(), "IANA", &status);
  std::string result = U_SUCCESS(status) && standard != nullptr ? standard : *name;
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

}  // namespace nb::http
