// A small JSON writer for reports. Strings are taken as UTF-8 but trusted no
// further: control characters, quotes and backslashes are escaped, and a byte
// that does not belong to a well-formed UTF-8 sequence is written as \u00XX
// (the byte read as Latin-1), so the output is always valid JSON.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace app {

class CJsonWriter {
 public:
  // `indent` blanks per level; 0 writes everything on one line.
  explicit CJsonWriter(int indent = 2) : m_Indent(indent) {}

  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  // The name of the next member of the current object.
  void Key(const std::string& name);

  void String(const std::string& value);
  void Int(int64_t value);
  void UInt(uint64_t value);
  void Double(double value);
  void Float(float value);
  void Bool(bool value);
  void Null();
  // Bytes as a string of upper-case hexadecimal pairs.
  void Hex(const uint8_t* data, size_t size);

  const std::string& Text() const { return m_Text; }

  // The quoted, escaped form of `value`.
  static std::string Quote(const std::string& value);

 private:
  void BeforeValue();
  void NewLine();

  struct Level {
    bool IsObject;
    bool Empty;
  };
  int m_Indent;
  std::string m_Text;
  std::vector<Level> m_Levels;
  bool m_AfterKey = false;
};

}  // namespace app
