#include "api/models/MountItem.h"

#include "foundation/json/Json.h"

namespace nb {

void MountItem::setValueWithJson(const JsonValue& json) {
  if (!json.isObject()) {
    return;
  }
  nMountID = jsonInt64(json, "mount_id");
  nOrgID = jsonInt64(json, "org_id");
  strOrgName = jsonTextOrEmpty(json, "org_name");
  nMemberType = jsonInt64(json, "member_type");
  nOrgType = jsonInt64(json, "org_type");
  llOrgUse = jsonInt64(json, "size_org_use");
  llOrgTotal = jsonInt64(json, "size_org_total");
  nEntID = jsonInt32(json, "ent_id");
  strPropertys = jsonNestedText(json, "property");
  const JsonValue& compare = json["compare"];
  nCompare = compare.isNull() ? 1 : compare.toInt64();
  ullAddDateline = jsonUInt64(json, "add_dateline");
  strInfo = JSONString(json).value_or("");
  bRemove = false;
}

}  // namespace nb
