#include "os/win32/Win32Profile.h"

#include <windows.h>

#include "os/win32/WinText.h"

namespace os {
namespace {

constexpr DWORD MAX_KEY_LIST = 1u << 20;

// Strings with a NUL cannot be handed to the profile calls whole; a
// shortened name could touch another key, so such calls are refused.
bool AnyNul(std::initializer_list<const std::string*> texts) {
  for (const std::string* t : texts) {
    if (HasNul(*t)) return true;
  }
  return false;
}

}  // namespace

std::string CWin32Profile::GetString(const std::string& section, const std::string& key,
                                     const std::string& fallback, const std::string& path,
                                     uint32_t capacity) {
  if (capacity == 0) return {};
  if (AnyNul({&section, &key, &fallback, &path})) return fallback;
  std::wstring wideSection = Utf8ToWide(section);
  std::wstring wideKey = Utf8ToWide(key);
  std::wstring wideFallback = Utf8ToWide(fallback);
  std::wstring widePath = Utf8ToWide(path);
  std::wstring buffer(capacity, L'\0');
  DWORD n = GetPrivateProfileStringW(wideSection.c_str(), wideKey.c_str(), wideFallback.c_str(),
                                     buffer.data(), capacity, widePath.c_str());
  if (n >= capacity) n = capacity - 1;
  return WideToUtf8(buffer.data(), n);
}

int32_t CWin32Profile::GetInt(const std::string& section, const std::string& key, int32_t fallback,
                              const std::string& path) {
  if (AnyNul({&section, &key, &path})) return fallback;
  std::wstring wideSection = Utf8ToWide(section);
  std::wstring wideKey = Utf8ToWide(key);
  std::wstring widePath = Utf8ToWide(path);
  UINT v = GetPrivateProfileIntW(wideSection.c_str(), wideKey.c_str(), fallback, widePath.c_str());
  return static_cast<int32_t>(v);
}

bool CWin32Profile::WriteString(const std::string& section, const std::string& key,
                                const std::string& value, const std::string& path) {
  if (AnyNul({&section, &key, &value, &path})) return false;
  std::wstring wideSection = Utf8ToWide(section);
  std::wstring wideKey = Utf8ToWide(key);
  std::wstring wideValue = Utf8ToWide(value);
  std::wstring widePath = Utf8ToWide(path);
  return WritePrivateProfileStringW(wideSection.c_str(), wideKey.c_str(), wideValue.c_str(),
                                    widePath.c_str()) != FALSE;
}

bool CWin32Profile::DeleteKey(const std::string& section, const std::string& key,
                              const std::string& path) {
  if (AnyNul({&section, &key, &path})) return false;
  std::wstring wideSection = Utf8ToWide(section);
  std::wstring wideKey = Utf8ToWide(key);
  std::wstring widePath = Utf8ToWide(path);
  return WritePrivateProfileStringW(wideSection.c_str(), wideKey.c_str(), nullptr,
                                    widePath.c_str()) != FALSE;
}

bool CWin32Profile::DeleteSection(const std::string& section, const std::string& path) {
  if (AnyNul({&section, &path})) return false;
  std::wstring wideSection = Utf8ToWide(section);
  std::wstring widePath = Utf8ToWide(path);
  return WritePrivateProfileStringW(wideSection.c_str(), nullptr, nullptr, widePath.c_str()) !=
         FALSE;
}

std::vector<std::string> CWin32Profile::Keys(const std::string& section, const std::string& path) {
  std::vector<std::string> keys;
  if (AnyNul({&section, &path})) return keys;
  std::wstring wideSection = Utf8ToWide(section);
  std::wstring widePath = Utf8ToWide(path);
  std::wstring buffer;
  DWORD n = 0;
  for (DWORD size = 4096;; size *= 2) {
    buffer.assign(size, L'\0');
    n = GetPrivateProfileStringW(wideSection.c_str(), nullptr, L"", buffer.data(), size,
                                 widePath.c_str());
    // A list that did not fit comes back as size - 2 units.
    if (n + 2 < size || size >= MAX_KEY_LIST) break;
  }
  // The names are NUL-separated; the list ends with an empty name.
  size_t start = 0;
  for (size_t i = 0; i < n; ++i) {
    if (buffer[i] == L'\0') {
      keys.push_back(WideToUtf8(buffer.data() + start, i - start));
      start = i + 1;
    }
  }
  if (start < n) keys.push_back(WideToUtf8(buffer.data() + start, n - start));
  return keys;
}

}  // namespace os
