#pragma once
// The IPv4 addresses of this host's network interfaces, with their netmasks,
// for the LAN service: which addresses are its own and which subnets are
// attached.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nb::platform {

struct Ipv4Interface {
  std::uint32_t address = 0;  // host byte order
  // Host byte order; an interface that gives none counts as a lone address.
  std::uint32_t netmask = ~std::uint32_t{0};

  // Dotted text of the address.
  std::string text() const;
  // True when `peer` (host byte order) lies on this interface's subnet.
  bool onSubnet(std::uint32_t peer) const { return (peer & netmask) == (address & netmask); }
};

// Every interface address that is up, loopback included; empty when the
// system call fails (logged).
std::vector<Ipv4Interface> listIpv4Interfaces();

// Dotted text of an address in host byte order.
std::string ipv4Text(std::uint32_t address);
// The address of dotted text ("a.b.c.d", each 0-255, nothing else); nothing
// for any other text.
std::optional<std::uint32_t> parseIpv4(const std::string& text);
// An interface from "a.b.c.d/prefix" (or plain "a.b.c.d", prefix 32).
std::optional<Ipv4Interface> parseIpv4Interface(const std::string& text);

}  // namespace nb::platform
