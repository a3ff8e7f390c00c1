#include "app/JsonWriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace app {

namespace {

// Length of the well-formed UTF-8 sequence starting at s[i], or 0.
size_t Utf8SequenceLength(const std::string& s, size_t i) {
  const auto byte = [&s](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  size_t length;
  uint32_t min;
  uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2, min = 0x80, cp = c & 0x1Fu;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3, min = 0x800, cp = c & 0x0Fu;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4, min = 0x10000, cp = c & 0x07u;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

void AppendEscapedByte(std::string& out, unsigned char c) {
  char buffer[8];
  std::snprintf(buffer, sizeof(buffer), "\\u%04X", c);
  out += buffer;
}

}  // namespace

std::string CJsonWriter::Quote(const std::string& value) {
  std::string out;
  out.reserve(value.size() + 2);
  out += '"';
  for (size_t i = 0; i < value.size();) {
    const auto c = static_cast<unsigned char>(value[i]);
    if (c < 0x80) {
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          if (c < 0x20 || c == 0x7F) {
            AppendEscapedByte(out, c);
          } else {
            out += static_cast<char>(c);
          }
      }
      ++i;
      continue;
    }
    if (size_t n = Utf8SequenceLength(value, i); n > 0) {
      out.append(value, i, n);
      i += n;
    } else {
      AppendEscapedByte(out, c);
      ++i;
    }
  }
  out += '"';
  return out;
}

void CJsonWriter::NewLine() {
  if (m_Indent <= 0) return;
  m_Text += '\n';
  m_Text.append(m_Levels.size() * static_cast<size_t>(m_Indent), ' ');
}

void CJsonWriter::BeforeValue() {
  if (m_AfterKey) {
    m_AfterKey = false;
    return;
  }
  if (m_Levels.empty()) return;
  Level& level = m_Levels.back();
  if (!level.Empty) m_Text += ',';
  level.Empty = false;
  NewLine();
}

void CJsonWriter::Key(const std::string& name) {
  if (!m_Levels.empty()) {
    Level& level = m_Levels.back();
    if (!level.Empty) m_Text += ',';
    level.Empty = false;
  }
  NewLine();
  m_Text += Quote(name);
  m_Text += m_Indent > 0 ? ": " : ":";
  m_AfterKey = true;
}

void CJsonWriter::BeginObject() {
  BeforeValue();
  m_Text += '{';
  m_Levels.push_back({true, true});
}

void CJsonWriter::EndObject() {
  const bool empty = m_Levels.empty() || m_Levels.back().Empty;
  if (!m_Levels.empty()) m_Levels.pop_back();
  if (!empty) NewLine();
  m_Text += '}';
}

void CJsonWriter::BeginArray() {
  BeforeValue();
  m_Text += '[';
  m_Levels.push_back({false, true});
}

void CJsonWriter::EndArray() {
  const bool empty = m_Levels.empty() || m_Levels.back().Empty;
  if (!m_Levels.empty()) m_Levels.pop_back();
  if (!empty) NewLine();
  m_Text += ']';
}

void CJsonWriter::String(const std::string& value) {
  BeforeValue();
  m_Text += Quote(value);
}

void CJsonWriter::Int(int64_t value) {
  BeforeValue();
  m_Text += std::to_string(value);
}

void CJsonWriter::UInt(uint64_t value) {
  BeforeValue();
  m_Text += std::to_string(value);
}

void CJsonWriter::Double(double value) {
  BeforeValue();
  if (!std::isfinite(value)) {
    m_Text += "null";
    return;
  }
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  m_Text.append(buffer, result.ptr);
}

void CJsonWriter::Float(float value) {
  BeforeValue();
  if (!std::isfinite(value)) {
    m_Text += "null";
    return;
  }
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  m_Text.append(buffer, result.ptr);
}

void CJsonWriter::Bool(bool value) {
  BeforeValue();
  m_Text += value ? "true" : "false";
}

void CJsonWriter::Null() {
  BeforeValue();
  m_Text += "null";
}

void CJsonWriter::Hex(const uint8_t* data, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  BeforeValue();
  m_Text += '"';
  for (size_t i = 0; i < size; ++i) {
    m_Text += kDigits[data[i] >> 4];
    m_Text += kDigits[data[i] & 0x0F];
  }
  m_Text += '"';
}

}  // namespace app
