#pragma once
// One file template of an enterprise, as the template list answer gives it.
// A plain value; the catalogue store keeps one row per template.

#include <cstdint>
#include <string>

#include "foundation/json/JsonValue.h"

namespace nb {

struct TemplateItem {
  // A fresh record filled from `json`; anything but an object gives the
  // initial values.
  static TemplateItem initWithJsonDictionary(const JsonValue& json);
  // Absent or null members give 0 or "".
  void setValueWithJson(const JsonValue& json);

  std::int64_t nEntID = 0;    // read through 32 bits; the answer's key replaces it
  std::int64_t nID = 0;       // read through 32 bits
  std::string strHash;        // "filehash": SHA-1 of the template's content
  std::string strName;        // "tpl_name": display name
  std::string strExt;         // file extension
  std::string strFullpath;
  std::uint64_t ullFilesize = 0;  // bytes
  std::uint64_t ullTime = 0;      // "dateline", seconds since 1970
  std::string strProperty;        // "" when absent, null or empty
};

}  // namespace nb
