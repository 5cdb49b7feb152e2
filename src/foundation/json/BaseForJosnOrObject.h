#pragma once
// Base of the records that are filled from a parsed JSON object and give one
// back. A record class adds its own typed fields, fills them in
// setValueWithJson() with the reading helpers of foundation/Json.h, and builds
// its object in dictionary() with JsonObjectBuilder.
//
//   class MountItem : public BaseForJosnOrObject {
//    public:
//     void setValueWithJson(const JsonValue& json) override {
//       if (!json.isObject()) return;          // keep the initial values
//       nMountId = jsonInt32(json, "mount_id");
//       strName = jsonTextOrEmpty(json, "name");
//     }
//     JsonValue dictionary() const override {
//       return JsonObjectBuilder().set("mount_id", nMountId).set("name", strName).build();
//     }
//     std::int32_t nMountId = 0;
//     std::string strName;
//   };
//   MountItem item = BaseForJosnOrObject::init<MountItem>(json);
//
// Records are plain values, filled on the thread that makes them.

#include <concepts>
#include <vector>

#include "foundation/json/JsonValue.h"

namespace nb {

class BaseForJosnOrObject {
 public:
  BaseForJosnOrObject() = default;
  BaseForJosnOrObject(const BaseForJosnOrObject&) = default;
  BaseForJosnOrObject& operator=(const BaseForJosnOrObject&) = default;
  virtual ~BaseForJosnOrObject() = default;

  // A default-made Record filled from `json` by its setValueWithJson. Given
  // anything but an object, a record keeps its initial field values.
  template <std::derived_from<BaseForJosnOrObject> Record>
  static Record init(const JsonValue& json) {
    Record record;
    record.setValueWithJson(json);
    return record;
  }

  // One record per element of `array`, in order; empty when it is no array.
  template <std::derived_from<BaseForJosnOrObject> Record>
  static std::vector<Record> initAll(const JsonValue& array) {
    std::vector<Record> records;
    records.reserve(array.size());
    for (const JsonValue& element : array.elements()) {
      records.push_back(init<Record>(element));
    }
    return records;
  }

  // Fills the fields from `json`. Must accept any value: a non-object leaves
  // the fields as they are. The base does nothing.
  virtual void setValueWithJson(const JsonValue& json);

  // A new object of the fields under their JSON keys, ready for JSONString().
  // The base gives the null value ("nothing").
  virtual JsonValue dictionary() const;
};

}  // namespace nb
