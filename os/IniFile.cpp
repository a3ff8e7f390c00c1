#include "os/IniFile.h"

#include <algorithm>

namespace os {
namespace {

// The blanks Windows trims around names and values; 0x1A is the old
// end-of-file mark some editors still leave behind.
bool IsBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1A;
}

std::string Trim(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlank(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && IsBlank(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at s[i]. Returns its length, or 0 when the
// bytes there are not well-formed UTF-8 (overlongs and surrogates included).
size_t DecodeUtf8(const std::string& s, size_t i, uint32_t* cp) {
  auto at = [&](size_t k) -> unsigned { return static_cast<unsigned char>(s[k]); };
  unsigned c = at(i);
  size_t n;
  uint32_t v;
  if (c < 0x80) {
    *cp = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    v = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    v = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    v = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    unsigned t = at(i + k);
    if ((t & 0xC0) != 0x80) return 0;
    v = (v << 6) | (t & 0x3F);
  }
  if ((n == 3 && v < 0x800) || (n == 4 && (v < 0x10000 || v > 0x10FFFF)) ||
      (v >= 0xD800 && v <= 0xDFFF)) {
    return 0;
  }
  *cp = v;
  return n;
}

bool IsValidUtf8(const std::string& s) {
  uint32_t cp = 0;
  for (size_t i = 0; i < s.size();) {
    size_t n = DecodeUtf8(s, i, &cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// Text of an 8-bit line as UTF-8: valid UTF-8 stays, anything else is taken
// as Latin-1 (the closest guess for an old ANSI file).
std::string AsUtf8(const std::string& s) {
  if (IsValidUtf8(s)) return s;
  std::string out;
  out.reserve(s.size() * 2);
  for (char c : s) AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

std::string DecodeUtf16(const uint8_t* p, size_t size, bool bigEndian) {
  std::string out;
  out.reserve(size);
  size_t units = size / 2;
  auto unit = [&](size_t k) -> uint32_t {
    return bigEndian ? (uint32_t{p[2 * k]} << 8) | p[2 * k + 1]
                     : (uint32_t{p[2 * k + 1]} << 8) | p[2 * k];
  };
  for (size_t k = 0; k < units; ++k) {
    uint32_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
      uint32_t lo = unit(k + 1);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        ++k;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;  // a lone surrogate
    AppendUtf8(out, u);
  }
  return out;
}

void AppendUtf16(std::vector<uint8_t>& out, const std::string& utf8, bool bigEndian) {
  auto put = [&](uint32_t u) {
    uint8_t hi = static_cast<uint8_t>(u >> 8);
    uint8_t lo = static_cast<uint8_t>(u & 0xFF);
    out.push_back(bigEndian ? hi : lo);
    out.push_back(bigEndian ? lo : hi);
  };
  std::string text = AsUtf8(utf8);
  uint32_t cp = 0;
  for (size_t i = 0; i < text.size();) {
    size_t n = DecodeUtf8(text, i, &cp);
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
}

// The first `units` UTF-16 code units of a UTF-8 text, never splitting a
// character.
std::string CutToUnits(const std::string& s, size_t units) {
  uint32_t cp = 0;
  size_t used = 0;
  size_t i = 0;
  while (i < s.size()) {
    size_t n = DecodeUtf8(s, i, &cp);
    if (n == 0) n = 1;  // not reached for text from AsUtf8
    size_t w = cp >= 0x10000 ? 2 : 1;
    if (used + w > units) break;
    used += w;
    i += n;
  }
  return s.substr(0, i);
}

std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

std::string CutAtNul(std::string s) {
  size_t nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  return s;
}

}  // namespace

CIniFile::CIniFile(std::string newline) : m_Newline(std::move(newline)) {}

CIniFile::Line CIniFile::Classify(std::string text, std::string end) {
  Line line;
  line.Text = std::move(text);
  line.End = std::move(end);
  std::string t = Trim(AsUtf8(line.Text));
  if (t.empty() || t[0] == ';') return line;
  if (t[0] == '[') {
    size_t close = t.rfind(']');
    if (close != std::string::npos) {
      line.LineKind = Kind::Section;
      line.Name = Trim(t.substr(1, close - 1));
      return line;
    }
  }
  size_t eq = t.find('=');
  if (eq == std::string::npos) return line;
  std::string name = Trim(t.substr(0, eq));
  if (name.empty()) return line;
  line.LineKind = Kind::Key;
  line.Name = std::move(name);
  line.Value = Trim(t.substr(eq + 1));
  return line;
}

CIniFile CIniFile::Parse(const uint8_t* data, size_t size, const std::string& newline) {
  CIniFile file(newline);
  std::string text;
  if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
    file.m_Encoding = Encoding::Utf8Bom;
    text.assign(reinterpret_cast<const char*>(data) + 3, size - 3);
  } else if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    file.m_Encoding = Encoding::Utf16Le;
    text = DecodeUtf16(data + 2, size - 2, false);
  } else if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
    file.m_Encoding = Encoding::Utf16Be;
    text = DecodeUtf16(data + 2, size - 2, true);
  } else if (size > 0) {
    text.assign(reinterpret_cast<const char*>(data), size);
  }

  bool newlineSeen = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t lf = text.find('\n', pos);
    std::string end;
    size_t stop;
    if (lf == std::string::npos) {
      stop = text.size();
    } else if (lf > pos && text[lf - 1] == '\r') {
      stop = lf - 1;
      end = "\r\n";
    } else {
      stop = lf;
      end = "\n";
    }
    if (!end.empty() && !newlineSeen) {
      file.m_Newline = end;
      newlineSeen = true;
    }
    file.m_Lines.push_back(Classify(text.substr(pos, stop - pos), std::move(end)));
    pos = lf == std::string::npos ? text.size() : lf + 1;
  }
  return file;
}

std::vector<uint8_t> CIniFile::Serialise() const {
  std::vector<uint8_t> out;
  bool utf16 = m_Encoding == Encoding::Utf16Le || m_Encoding == Encoding::Utf16Be;
  bool bigEndian = m_Encoding == Encoding::Utf16Be;
  if (m_Encoding == Encoding::Utf8Bom) out = {0xEF, 0xBB, 0xBF};
  if (m_Encoding == Encoding::Utf16Le) out = {0xFF, 0xFE};
  if (m_Encoding == Encoding::Utf16Be) out = {0xFE, 0xFF};
  for (const Line& line : m_Lines) {
    if (utf16) {
      AppendUtf16(out, line.Text, bigEndian);
      AppendUtf16(out, line.End, bigEndian);
    } else {
      out.insert(out.end(), line.Text.begin(), line.Text.end());
      out.insert(out.end(), line.End.begin(), line.End.end());
    }
  }
  return out;
}

size_t CIniFile::FindSection(const std::string& section) const {
  std::string name = AsUtf8(Trim(section));
  for (size_t i = 0; i < m_Lines.size(); ++i) {
    if (m_Lines[i].LineKind == Kind::Section && SameName(m_Lines[i].Name, name)) return i;
  }
  return std::string::npos;
}

size_t CIniFile::SectionEnd(size_t header) const {
  size_t i = header + 1;
  while (i < m_Lines.size() && m_Lines[i].LineKind != Kind::Section) ++i;
  return i;
}

size_t CIniFile::FindKey(size_t header, const std::string& key) const {
  std::string name = AsUtf8(Trim(key));
  size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (m_Lines[i].LineKind == Kind::Key && SameName(m_Lines[i].Name, name)) return i;
  }
  return std::string::npos;
}

std::optional<std::string> CIniFile::Find(const std::string& section,
                                          const std::string& key) const {
  size_t header = FindSection(section);
  if (header == std::string::npos) return std::nullopt;
  size_t k = FindKey(header, key);
  if (k == std::string::npos) return std::nullopt;
  return CutAtNul(Unquote(m_Lines[k].Value));
}

std::string CIniFile::GetString(const std::string& section, const std::string& key,
                                const std::string& fallback, uint32_t capacity) const {
  if (capacity == 0) return {};
  std::optional<std::string> value = Find(section, key);
  std::string text;
  if (value) {
    text = std::move(*value);
  } else {
    // Windows drops trailing blanks of the default.
    text = CutAtNul(AsUtf8(fallback));
    while (!text.empty() && text.back() == ' ') text.pop_back();
  }
  return CutToUnits(text, capacity - 1);
}

int32_t CIniFile::GetInt(const std::string& section, const std::string& key,
                         int32_t fallback) const {
  // Windows reads the value through a 30-character buffer and converts it
  // with RtlUnicodeStringToInteger, base 0: control characters and blanks
  // skipped, one sign, then "0x", "0o" or "0b" (lower case only) choose base
  // 16, 8 or 2, otherwise decimal; digits of the base until the first other
  // character, no overflow check.
  std::string text = GetString(section, key, "", 30);
  if (text.empty()) return fallback;
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  bool minus = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    minus = text[i] == '-';
    ++i;
  }
  uint32_t base = 10;
  if (i + 1 < text.size() && text[i] == '0') {
    switch (text[i + 1]) {
      case 'x':
        base = 16;
        break;
      case 'o':
        base = 8;
        break;
      case 'b':
        base = 2;
        break;
      default:
        break;
    }
    if (base != 10) i += 2;
  }
  auto digit = [](char c) -> uint32_t {
    if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<uint32_t>(c - 'A' + 10);
    return 99;
  };
  uint32_t total = 0;
  for (; i < text.size() && digit(text[i]) < base; ++i) {
    total = total * base + digit(text[i]);
  }
  if (minus) total = 0u - total;
  return static_cast<int32_t>(total);
}

std::vector<std::string> CIniFile::Keys(const std::string& section) const {
  std::vector<std::string> keys;
  size_t header = FindSection(section);
  if (header == std::string::npos) return keys;
  size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (m_Lines[i].LineKind == Kind::Key) keys.push_back(CutAtNul(m_Lines[i].Name));
  }
  return keys;
}

bool CIniFile::IsStorable(const std::string& section, const std::string& key,
                          const std::string& value) {
  auto oneLine = [](const std::string& s) {
    return s.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
  };
  std::string s = Trim(section);
  std::string k = Trim(key);
  if (s.empty() || k.empty()) return false;
  if (!oneLine(section) || !oneLine(key) || !oneLine(value)) return false;
  if (s.find(']') != std::string::npos) return false;
  if (k.find('=') != std::string::npos || k[0] == ';' || k[0] == '[') return false;
  return true;
}

std::string CIniFile::StorableName(const std::string& name) {
  if (IsStorable(name, name, "")) return name;
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7F || c == '[' || c == ']' || c == '=' || c == '%' ||
        (i == 0 && c == ';')) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (Trim(out).empty()) out = "%";
  return out;
}

bool CIniFile::Set(const std::string& section, const std::string& key, const std::string& value,
                   bool* changed) {
  if (changed) *changed = false;
  if (!IsStorable(section, key, value)) return false;
  std::string s = AsUtf8(Trim(section));
  std::string k = AsUtf8(Trim(key));
  std::string v = AsUtf8(value);
  size_t lead = 0;
  while (lead < v.size() && IsBlank(static_cast<unsigned char>(v[lead]))) ++lead;
  v.erase(0, lead);

  auto endLastLine = [this]() {
    if (!m_Lines.empty() && m_Lines.back().End.empty()) m_Lines.back().End = m_Newline;
  };

  size_t header = FindSection(s);
  if (header == std::string::npos) {
    endLastLine();
    m_Lines.push_back(Classify("[" + s + "]", m_Newline));
    m_Lines.push_back(Classify(k + "=" + v, m_Newline));
    if (changed) *changed = true;
    return true;
  }
  size_t at = FindKey(header, k);
  if (at != std::string::npos) {
    Line& line = m_Lines[at];
    if (line.Value == v) return true;
    std::string end = line.End.empty() ? m_Newline : line.End;
    line = Classify(line.Name + "=" + v, std::move(end));
    if (changed) *changed = true;
    return true;
  }
  // A new key goes after the last key of the section, so blank lines and
  // comments that lead into the next section stay with it.
  size_t insert = header + 1;
  size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (m_Lines[i].LineKind == Kind::Key) insert = i + 1;
  }
  if (m_Lines[insert - 1].End.empty()) m_Lines[insert - 1].End = m_Newline;
  m_Lines.insert(m_Lines.begin() + static_cast<std::ptrdiff_t>(insert),
                 Classify(k + "=" + v, m_Newline));
  if (changed) *changed = true;
  return true;
}

bool CIniFile::RemoveKey(const std::string& section, const std::string& key) {
  std::string s = AsUtf8(Trim(section));
  std::string k = AsUtf8(Trim(key));
  bool removed = false;
  bool inSection = false;
  std::vector<Line> kept;
  kept.reserve(m_Lines.size());
  for (Line& line : m_Lines) {
    if (line.LineKind == Kind::Section) inSection = SameName(line.Name, s);
    if (inSection && line.LineKind == Kind::Key && SameName(line.Name, k)) {
      removed = true;
      continue;
    }
    kept.push_back(std::move(line));
  }
  m_Lines = std::move(kept);
  return removed;
}

bool CIniFile::RemoveSection(const std::string& section) {
  std::string s = AsUtf8(Trim(section));
  bool removed = false;
  bool inSection = false;
  std::vector<Line> kept;
  kept.reserve(m_Lines.size());
  for (Line& line : m_Lines) {
    if (line.LineKind == Kind::Section) inSection = SameName(line.Name, s);
    if (inSection) {
      removed = true;
      continue;
    }
    kept.push_back(std::move(line));
  }
  m_Lines = std::move(kept);
  return removed;
}

}  // namespace os
