// Arbitrary bytes as a language file: parsing and lookups must neither crash
// nor read out of bounds, and no text may exceed the 255 characters a
// lookup can return.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/LanguageFile.h"

namespace {

// UTF-16 code units of a UTF-8 text.
size_t Utf16Length(const std::string& text) {
  size_t units = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) == 0x80) continue;
    units += c >= 0xF0 ? 2 : 1;
  }
  return units;
}

void Check(const app::CLanguageText& text, const std::string& section, const std::string& key) {
  std::string value = text.Get(section, key);
  if (Utf16Length(value) > 255) std::abort();
  (void)text.Get(section, key, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  app::CLanguageText text;
  text.Current().Parse(data, size);
  // The same bytes split in two serve as the English file.
  text.English().Parse(data + size / 2, size - size / 2);

  Check(text, "Smart", "VENDOR_SPECIFIC");
  Check(text, "Smart", "C2");
  Check(text, "SmartSandForce", "E7");
  Check(text, "DiskStatus", "GOOD");
  Check(text, "Language", "LOCALE_ID");
  // Names taken from the input itself.
  if (size >= 4) {
    std::string section(reinterpret_cast<const char*>(data), 2);
    std::string key(reinterpret_cast<const char*>(data) + 2, 2);
    Check(text, section, key);
  }
  return 0;
}
