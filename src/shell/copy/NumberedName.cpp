#include "shell/copy/NumberedName.h"

namespace nb {

std::string numberedName(const std::string& name, std::int64_t n) {
  const std::string number = "(" + std::to_string(n) + ")";
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return name + number;
  return name.substr(0, dot) + number + name.substr(dot);
}

}  // namespace nb
