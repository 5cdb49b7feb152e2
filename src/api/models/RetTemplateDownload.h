#pragma once
// Answer of the template URL call (/1/account/get_ent_tpl_url).

#include <string>

#include "api/models/RequestRet.h"

namespace nb {

class RetTemplateDownload : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  std::string url;  // where the template's content can be downloaded
};

}  // namespace nb
