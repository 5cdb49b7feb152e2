#pragma once
// "vep://" links: other programs (a browser, a mail) open the main window on
// a file or folder of a library. The text after the prefix is the Base64 of
// a command line "command?key=value&key=value".
//
// Thread-safety: pure functions.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace nb {

inline constexpr const char* kVepScheme = "vep://";

// The parameters of `url`, with its command in `cmdstr`. Nothing (and
// `cmdstr` left as it was) without the prefix; nothing with `cmdstr`
// cleared when the Base64 does not decode to text or the line is not
// exactly two parts at "?".
// Pieces without "=" are skipped, a value keeps every "=" after the first,
// a later key replaces an earlier one.
std::optional<std::map<std::string, std::string>> urlDecoded(const std::string& url,
                                                             std::optional<std::string>& cmdstr);

// The "mount" command: which library and which path inside it.
struct VepMount {
  std::int64_t mountId = 0;
  std::string webpath;
};

// The mount request `url` carries; nothing for any other command or a URL
// that does not decode (a path whose escapes are malformed included).
std::optional<VepMount> vepMountRequest(const std::string& url);

}  // namespace nb
