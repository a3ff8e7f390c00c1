// The text of one INI file with the Windows private-profile rules, held in
// memory. Pure: bytes in, bytes out; CIniProfile adds the file around it.
//
// Reading rules (those of GetPrivateProfileString):
// - Sections "[name]" and keys "name=value" are found without regard to
//   (ASCII) case. Only the first section of a name is searched, and within it
//   the first key of a name wins.
// - Names and values are trimmed of blanks around them; a value enclosed in
//   matching single or double quotes loses the quotes.
// - Lines starting with ';' are comments; a line without '=' is not a key.
// - A read through a buffer of N characters returns at most N - 1 of them
//   (UTF-16 code units, as Windows counts them; a character is never split).
// Input may be UTF-8 (with or without a byte-order mark), UTF-16LE or
// UTF-16BE with a byte-order mark, with CR LF or LF line ends. Bytes that are
// not valid UTF-8 are read as Latin-1 so every string handed out is UTF-8.
// Writing changes only the lines it must; every other byte of the file,
// comments and formatting included, comes back unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace os {

class CIniFile {
 public:
  enum class Encoding : uint8_t { Utf8, Utf8Bom, Utf16Le, Utf16Be };

  // An empty file whose new lines end in `newline` ("\r\n" or "\n").
  explicit CIniFile(std::string newline = "\r\n");

  // Parses any bytes; never fails. Line ends of new lines follow the file's
  // first line end, or `newline` when the file has none.
  static CIniFile Parse(const uint8_t* data, size_t size, const std::string& newline = "\r\n");
  static CIniFile Parse(const std::vector<uint8_t>& data, const std::string& newline = "\r\n") {
    return Parse(data.data(), data.size(), newline);
  }
  // The file's bytes, in the encoding it was read in.
  std::vector<uint8_t> Serialise() const;
  Encoding GetEncoding() const { return m_Encoding; }

  // The value of a key after trimming and quote removal, untruncated;
  // nullopt when the section or key is missing.
  std::optional<std::string> Find(const std::string& section, const std::string& key) const;
  // GetPrivateProfileString with a buffer of `capacity` characters.
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& fallback, uint32_t capacity = 256) const;
  // GetPrivateProfileInt: `fallback` when the key is missing or empty,
  // otherwise the leading decimal number (0 when there is none), wrapping
  // modulo 2^32 like Windows.
  int32_t GetInt(const std::string& section, const std::string& key, int32_t fallback) const;
  // Key names of the first section called `section`, in file order.
  std::vector<std::string> Keys(const std::string& section) const;

  // WritePrivateProfileString. Returns false, changing nothing, for names or
  // values that cannot be stored as one line (see IsStorable). Sets
  // *changed when the text differs afterwards.
  bool Set(const std::string& section, const std::string& key, const std::string& value,
           bool* changed = nullptr);
  // Removes every line of `key` in the sections called `section`.
  bool RemoveKey(const std::string& section, const std::string& key);
  // Removes every section called `section` with all its lines.
  bool RemoveSection(const std::string& section);

  // A section name, key and value can be written and read back as written:
  // no line breaks or NUL anywhere, no ']' in the section, no '=' in the key,
  // names that are not empty after trimming and do not start with ';' or '['.
  static bool IsStorable(const std::string& section, const std::string& key,
                         const std::string& value);
  // A name that can serve as section and as key: `name` itself when it
  // can (existing files keep their names), otherwise `name` with control
  // characters, "[", "]", "=", "%" and a leading ";" written as "%XX" ("%"
  // alone for an empty or blank name). Names from outside (a disk's model
  // and serial) go through this before they become sections or keys.
  static std::string StorableName(const std::string& name);

 private:
  enum class Kind : uint8_t { Other, Section, Key };
  struct Line {
    std::string Text;  // without the line end, UTF-8 (UTF-16 files) or raw bytes
    std::string End;   // "\r\n", "\n" or "" for a last line without one
    Kind LineKind = Kind::Other;
    std::string Name;   // section name or key name (trimmed, UTF-8)
    std::string Value;  // key value (trimmed, quotes kept, UTF-8)
  };

  static Line Classify(std::string text, std::string end);
  // Index of the header of the first section called `section`, or npos.
  size_t FindSection(const std::string& section) const;
  // One past the last line of the section whose header is at `header`.
  size_t SectionEnd(size_t header) const;
  size_t FindKey(size_t header, const std::string& key) const;

  std::vector<Line> m_Lines;
  Encoding m_Encoding = Encoding::Utf8;
  std::string m_Newline;
};

}  // namespace os
