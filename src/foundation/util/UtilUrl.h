#pragma once
// Texts shown to users, URL forms and the identity of this computer.
// Stateless apart from the computer id, which is read once per process.
// Callable from any thread.

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace nb::Util {

// The key's text in the chosen language's table (languageWithWebUrlString of
// the application state); when the table lacks it, the alternate, or the key
// itself without one. Keys are the Chinese texts the program was written
// with.
std::string localizedStringForKey(std::string_view key,
                                  std::optional<std::string_view> alternate = std::nullopt);

// The URL in the scheme the user chose (checkUseHttps of the application
// state), or the one given. "http://..." and "https://..." (case-sensitive)
// get their scheme switched when it differs; any other text gets "https://"
// or "http://" in front.
std::string getDealWithHttpsOrHttpUrl(std::string_view url);
std::string getDealWithHttpsOrHttpUrl(std::string_view url, bool https);

// A text beginning "http" (so also "https") unchanged; else the chosen
// scheme in front.
std::string CheckHttpWithUrl(std::string_view url);

// The id of this computer: 32 hex characters keyed-hashed from
// /etc/machine-id (never the raw value), else a random id kept in
// ~/.veskocfg/computerid (made on first need, mode 0600). Never empty: when
// even that file cannot be written the random id lives for the process.
// Read once and kept for the life of the process.
std::string getcomputerid();
// The same decision with the two files given; not cached.
std::string computerIdFrom(const std::filesystem::path& machineIdFile,
                           const std::filesystem::path& fallbackFile);

// The HTTP date of now or of the given time: "Tue, 08 Dec 2026 17:00:00 GMT",
// in English whatever the locale.
std::string getGMTDate();
std::string getGMTDate(std::time_t when);

// The text when not empty; else the localized "request failed, check the
// network" text.
std::string getChangeTokenError(std::string_view text);

// SHA-1 hex of the computer id followed by the seconds since 2001-01-01 in
// "%f" form: a one-time key for the web sign-in.
std::string getwebloginkey();

// Both folders lower-cased with exactly one trailing "/": true when they are
// equal or either lies inside the other (a folder to link must neither be,
// hold, nor lie inside the configuration folder).
bool checkLinkPathHaveConfigPath(std::string_view folder, std::string_view configFolder);

}  // namespace nb::Util
