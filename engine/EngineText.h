// Small text helpers of the engine: disk strings arrive as bytes of unknown
// code page and are kept as UTF-8. The general ones live in base/Text.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Text.h"

namespace engine_text {

using base::Contains;
using base::IsBlank;
using base::Latin1ToUtf8;
using base::StartsWith;
using base::Trim;
using base::UpperAscii;

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
