#pragma once
// The RC4 stream cipher, for the content cache's entry format only (the
// format is fixed by existing caches; RC4 protects nothing against a
// determined reader). OpenSSL 3 keeps RC4 in its legacy provider, so the few
// lines are our own.
//
// One object is one key stream: process() enciphers or deciphers (the same
// operation) consecutive pieces of one message. Not thread-safe; use one
// object per message.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace nb {

class Rc4 {
 public:
  // `key` must hold 1 to 256 bytes; a longer key uses its first 256.
  explicit Rc4(std::string_view key);

  // XORs the next `size` bytes of the key stream into `data` in place.
  void process(std::uint8_t* data, std::size_t size);
  void process(char* data, std::size_t size) {
    process(reinterpret_cast<std::uint8_t*>(data), size);
  }

 private:
  // Word-sized cells and indexes: byte cells cost partial-register work on
  // every swap and run markedly slower.
  std::array<std::uint32_t, 256> s_{};
  std::uint32_t i_ = 0;
  std::uint32_t j_ = 0;
};

}  // namespace nb
