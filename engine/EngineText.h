// Small text helpers of the engine: disk strings arrive as bytes of unknown
// code page and are kept as UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace engine_text {

inline bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

inline bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// ASCII upper case; bytes above 0x7F are left alone.
inline std::string ToUpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

inline bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

inline std::string Trim(std::string_view text) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

// Up to `size` bytes, stopping at the first NUL, read as a single-byte code
// page text (bytes 0x80-0xFF taken as Latin-1) and returned as UTF-8.
inline std::string BytesToText(const uint8_t* bytes, size_t size) {
  std::string out;
  out.reserve(size);
  for (size_t i = 0; i < size && bytes[i] != 0; ++i) {
    uint8_t b = bytes[i];
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
    } else {
      out.push_back(static_cast<char>(0xC0 | (b >> 6)));
      out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    }
  }
  return out;
}

// The leading decimal integer of a text like atoi reads it (blanks, a sign,
// digits), saturated instead of overflowing. 0 when there is none.
inline int64_t LeadingInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value < INT64_C(100000000000000000)) value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace engine_text
