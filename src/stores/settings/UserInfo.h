#pragma once
// The saved sign-in of the user who asked to be remembered: a plain value.

#include <cstdint>
#include <optional>
#include <string>

namespace nb {

struct UserInfo {
  int64_t userid = -1;  // -1: nobody is remembered
  // Nothing stands for a NULL column; stored back as the empty text.
  std::optional<std::string> refreshtoken = std::string();
  std::optional<std::string> device;
  std::optional<std::string> userinfo;  // the account's JSON as the web API gave it
  std::optional<std::string> token = std::string();
  std::optional<std::string> serverhost;
};

}  // namespace nb
