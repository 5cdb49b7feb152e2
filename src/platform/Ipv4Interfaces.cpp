#include "platform/Ipv4Interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/Log.h"

namespace nb::platform {

std::string Ipv4Interface::text() const { return ipv4Text(address); }

std::string ipv4Text(std::uint32_t address) {
  in_addr in{};
  in.s_addr = htonl(address);
  char buffer[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &in, buffer, sizeof buffer);
  return buffer;
}

std::optional<std::uint32_t> parseIpv4(const std::string& text) {
  // inet_pton takes exactly four decimal parts, no leading junk, no
  // shortened forms; that is what peers and tests may give.
  in_addr in{};
  if (::inet_pton(AF_INET, text.c_str(), &in) != 1) return std::nullopt;
  return ntohl(in.s_addr);
}

std::optional<Ipv4Interface> parseIpv4Interface(const std::string& text) {
  const auto slash = text.find('/');
  const auto address = parseIpv4(text.substr(0, slash));
  if (!address) return std::nullopt;
  int prefix = 32;
  if (slash != std::string::npos) {
    const std::string digits = text.substr(slash + 1);
    if (digits.empty() || digits.size() > 2 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      return std::nullopt;
    }
    prefix = std::stoi(digits);
    if (prefix > 32) return std::nullopt;
  }
  const std::uint32_t mask = prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - prefix);
  return Ipv4Interface{*address, mask};
}

std::vector<Ipv4Interface> listIpv4Interfaces() {
  ifaddrs* raw = nullptr;
  if (::getifaddrs(&raw) != 0) {
    NBLOG_ERROR("getifaddrs failed: {}", std::strerror(errno));
    return {};
  }
  std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> list(raw, &::freeifaddrs);
  std::vector<Ipv4Interface> out;
  for (const ifaddrs* it = raw; it != nullptr; it = it->ifa_next) {
    if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
    if ((it->ifa_flags & IFF_UP) == 0) continue;
    Ipv4Interface item;
    item.address = ntohl(reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr);
    if (it->ifa_netmask != nullptr && it->ifa_netmask->sa_family == AF_INET) {
      item.netmask =
          ntohl(reinterpret_cast<const sockaddr_in*>(it->ifa_netmask)->sin_addr.s_addr);
    }
    out.push_back(item);
  }
  return out;
}

}  // namespace nb::platform
