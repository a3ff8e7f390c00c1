// Text helpers every layer uses. Texts are UTF-8 std::strings; texts from
// disks and files are untrusted and may hold any byte. Case changes touch
// ASCII letters only, whatever the locale, so a disk's text compares the
// same on every machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace base {

// The characters isspace() accepts in the "C" locale.
inline constexpr std::string_view BLANKS = " \t\n\r\v\f";

inline bool IsBlank(char c) { return BLANKS.find(c) != std::string_view::npos; }

inline bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

inline bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

inline bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

inline std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

inline std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Without leading and trailing characters of `blanks`.
inline std::string Trim(std::string_view text, std::string_view blanks = BLANKS) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && blanks.find(text[b]) != std::string_view::npos) ++b;
  while (e > b && blanks.find(text[e - 1]) != std::string_view::npos) --e;
  return std::string(text.substr(b, e - b));
}

inline std::string TrimRight(std::string_view text, std::string_view blanks = BLANKS) {
  size_t e = text.size();
  while (e > 0 && blanks.find(text[e - 1]) != std::string_view::npos) --e;
  return std::string(text.substr(0, e));
}

// Up to `size` bytes, stopping at the first NUL, read as a single-byte code
// page text (bytes 0x80-0xFF taken as Latin-1) and returned as UTF-8.
inline std::string Latin1ToUtf8(const uint8_t* bytes, size_t size) {
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

}  // namespace base
