#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Fixed-width integers at byte positions, least significant byte first, whatever
// the host's order. Compilers turn these into single loads and stores.
namespace larkspan::schedule::le {

inline void Put8(std::byte* at, std::uint8_t value) {
  at[0] = std::byte{value};
}

inline void Put16(std::byte* at, std::uint16_t value) {
  at[0] = static_cast<std::byte>(value);
  at[1] = static_cast<std::byte>(value >> 8);
}

inline void Put32(std::byte* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::byte>(value >> (8 * i));
}

inline std::uint8_t Get8(const std::byte* at) {
  return std::to_integer<std::uint8_t>(at[0]);
}

inline std::uint16_t Get16(const std::byte* at) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(at[0]) |
                                    (std::to_integer<unsigned>(at[1]) << 8));
}

inline std::uint32_t Get32(const std::byte* at) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= std::to_integer<std::uint32_t>(at[i]) << (8 * i);
  return value;
}

inline void PutBytes(std::byte* at, const void* from, std::size_t size) {
  std::memcpy(at, from, size);
}

inline void GetBytes(const std::byte* at, void* to, std::size_t size) {
  std::memcpy(to, at, size);
}

}  // namespace larkspan::schedule::le
