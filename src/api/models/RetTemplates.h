#pragma once
// Answer of the enterprises' template list (/1/account/get_ent_tpl): an
// object keyed by enterprise id, each value that enterprise's templates.

#include <optional>
#include <vector>

#include "api/models/RequestRet.h"
#include "api/models/TemplateItem.h"

namespace nb {

class RetTemplates : public RequestRet {
 public:
  // Every key whose value is an array gives its templates, each with nEntID
  // set to the key; other values are skipped.
  void setValueWithJson(const JsonValue& json) override;

  std::optional<std::vector<TemplateItem>> itemlist;  // nothing before a successful answer
};

}  // namespace nb
