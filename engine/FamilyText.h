// Text tests of the family classifier. Disk texts are UTF-8 strings decoded
// from IDENTIFY bytes; they are untrusted and may hold any byte. Positions
// count characters (code points), and a position past the end never matches.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/Text.h"

namespace family_text {

using base::Contains;
using base::EndsWith;
using base::StartsWith;
using base::UpperAscii;

// The needle occurs somewhere other than at position 0.
inline bool ContainsAfterStart(std::string_view text, std::string_view needle) {
  return !text.empty() && text.find(needle, 1) != std::string_view::npos;
}

// Number of characters: every byte that does not continue a UTF-8 sequence.
inline size_t CharCount(std::string_view text) {
  size_t n = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

// The character at `index` (counted as CharCount counts), or U+0000 beyond
// the end. Only ASCII characters are ever compared, so a multi-byte
// character is returned as U+FFFD.
inline char32_t CharAt(std::string_view text, size_t index) {
  size_t n = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) == 0x80) continue;
    if (n == index) return c < 0x80 ? static_cast<char32_t>(c) : char32_t{0xFFFD};
    ++n;
  }
  return 0;
}

inline bool CharIsOneOf(std::string_view text, size_t index, std::string_view set) {
  char32_t c = CharAt(text, index);
  return c != 0 && c < 0x80 && set.find(static_cast<char>(c)) != std::string_view::npos;
}

inline bool CharInRange(std::string_view text, size_t index, char low, char high) {
  char32_t c = CharAt(text, index);
  return c >= static_cast<char32_t>(low) && c <= static_cast<char32_t>(high);
}

}  // namespace family_text
