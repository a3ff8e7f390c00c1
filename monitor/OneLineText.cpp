#include "monitor/OneLineText.h"

namespace monitor {

std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool inBreak = false;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '\r' || c == '\n' || c == '\t') {
      if (!inBreak) out.push_back(' ');
      inBreak = true;
      continue;
    }
    if (u < 0x20 || u == 0x7F) continue;
    inBreak = false;
    out.push_back(c);
  }
  const size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::string StatusField(std::string_view text) {
  std::string out = OneLine(text);
  for (char& c : out) {
    if (c == ',') c = ' ';
  }
  return out;
}

}  // namespace monitor
