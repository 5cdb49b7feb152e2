#include "foundation/Json.h"

namespace nb {

std::optional<std::string> JSONString(const JsonValue&) { return std::nullopt; }

}  // namespace nb
