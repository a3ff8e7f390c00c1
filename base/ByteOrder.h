// Little-endian access to byte buffers: every multi-byte field the program
// reads from a disk or writes into a device request goes through these,
// never through a cast of a foreign buffer to a structure.
#pragma once

#include <cstddef>
#include <cstdint>

namespace base {

inline uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Load64(const uint8_t* p) {
  return static_cast<uint64_t>(Load32(p)) | (static_cast<uint64_t>(Load32(p + 4)) << 32);
}
inline void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Store64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// True when [offset, offset + count) lies inside a buffer of `size` bytes.
constexpr bool Fits(size_t size, size_t offset, size_t count) {
  return offset <= size && count <= size - offset;
}

}  // namespace base
