#pragma once
// The signed single-sign-on URL: opens a web page of the service already
// signed in, in the user's browser or a web window.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace nb::Util {

// Answers a 32-bit random value; must be safe to call from any thread.
using RandomSource = std::function<std::uint32_t()>;

// "<web host>/account/sso?url=..&token=..&t=..&n=..&s=..&hl=..": the target
// `url`, the access `token`, the time t (whole seconds of the injectable
// clock), a random n in 0..65534 and the signature s of the four (taken
// over their raw values), with the page language. `webpath` is the web host
// with "http://" in front; the scheme follows the user's HTTPS choice.
// `url` and `token` go into the query URL-encoded. Callable from any thread.
std::string mixtureurl(std::string_view url, std::string_view webpath, std::string_view token);
// The same with the random source given (tests).
std::string mixtureurl(std::string_view url, std::string_view webpath, std::string_view token,
                       const RandomSource& random);

}  // namespace nb::Util
