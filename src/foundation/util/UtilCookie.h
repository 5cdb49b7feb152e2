#pragma once
// The client's marker cookie for the web host. The page host points WebKit's
// cookie manager at the same file (webkit_cookie_manager_set_persistent_storage
// with WEBKIT_COOKIE_PERSISTENT_STORAGE_TEXT), so a cookie written here is the
// one pages send. Caller's thread; call before any page opens.

#include <string>

namespace nb::Util {

// The cookie's name.
inline constexpr const char* kClientCookieName = "_nb_client_mac_";

// The cookie file of the configuration folder `configPath`.
std::string cookieStoragePath(const std::string& configPath);

// When `cookieFile` (Netscape cookies.txt lines) holds no cookie that a
// request to "http://<webHost>/" would carry, whatever its name, appends the
// marker cookie: a decimal value, path "/", for the web host from its first
// "." on (".example.com" for "www.example.com"; the whole host when it has no
// "."). Answers whether it stored one.
bool checkCookieExist(const std::string& webHost, const std::string& cookieFile);

}  // namespace nb::Util
