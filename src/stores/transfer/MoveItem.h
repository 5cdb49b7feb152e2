#pragma once
// One item of an add, move or copy request.

#include <string>

namespace nb {

struct MoveItem {
  std::string frompath;
  std::string topath;
  bool dir = false;
};

}  // namespace nb
