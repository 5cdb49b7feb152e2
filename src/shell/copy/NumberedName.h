#pragma once
// The numbered form of a name that keeps both items of a clash:
// "report(2).pdf", "notes(2)". Pure text; any thread.

#include <cstdint>
#include <string>

namespace nb {

// "base(n).ext" split at the last ".", or "name(n)" without an extension. A
// leading dot starts a hidden name, not an extension (".profile(2)").
std::string numberedName(const std::string& name, std::int64_t n);

}  // namespace nb
