#pragma once

#include <string_view>

namespace nb {

// The client identifier the service issued to this client; sent as
// "client_id" with the token calls and as "CLIENT_ID" in the device info.
inline constexpr std::string_view kClientId = "Tz7hWm3RnB9wFq1MvX5cLd2PsJe";

}  // namespace nb
