#pragma once
// Internal to the call files of HTTPEngine: the endpoint descriptions and
// parameter lists that many calls share.

#include <string>
#include <string_view>

#include "api/calls/HTTPEngine.h"

namespace nb::endpoints {

// A call on the API host with the default time-out, signed, marker checked,
// repeated on an expired token. `statusOnly` calls read no body.
inline HTTPEngine::Endpoint api(std::string method, std::string_view path,
                                bool statusOnly = false) {
  return HTTPEngine::Endpoint{.method = std::move(method), .url = HTTPEngine::apiUrl(path),
                              .statusOnly = statusOnly};
}

// The parameters of calls that send the token alone.
inline SignKeyList tokenOnly(const std::string& token) {
  SignKeyList list;
  HTTPEngine::addValueForString(list, "token", token);
  return list;
}

}  // namespace nb::endpoints
