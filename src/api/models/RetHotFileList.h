#pragma once
// Answer of the user's hot files (/1/member/hot_files): the server
// identifiers of the files, one catalogue row each.

#include <optional>
#include <vector>

#include "api/models/RequestRet.h"

namespace nb {

class RetHotFileList : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  // The elements of "list" unchanged, in order (the catalogue binds each as
  // a statement parameter); nothing before a successful answer, empty when
  // "list" is no array.
  std::optional<std::vector<JsonValue>> itemlist;
};

}  // namespace nb
