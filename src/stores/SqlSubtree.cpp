#include "stores/SqlSubtree.h"

namespace nb {

std::string subtreePattern(std::string_view path) {
  std::string pattern;
  pattern.reserve(path.size() + 4);
  for (const char c : path) {
    if (c == '%' || c == '_' || c == '\\') pattern.push_back('\\');
    pattern.push_back(c);
  }
  pattern += "/%";
  return pattern;
}

}  // namespace nb
