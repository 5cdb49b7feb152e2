#pragma once
// One library item the user drags out of a page.

#include <cstdint>
#include <string>

#include "foundation/json/JsonValue.h"

namespace nb {

struct drag_item {
  std::int64_t mountid = 0;
  std::string webpath;
  std::string filehash;
  // A copy of the content was placed at fullpath when the drag started.
  bool cached = false;
  std::string fullpath;

  // From the page's object {"mount_id","webpath","filehash"}; anything but
  // an object leaves the item empty.
  static drag_item initWithDictionary(const JsonValue& value);
};

}  // namespace nb
