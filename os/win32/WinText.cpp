#include "os/win32/WinText.h"

#include <windows.h>

#include <climits>

namespace os {

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return {};
  int size = static_cast<int>(text.size());
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), n);
  return wide;
}

std::string WideToUtf8(const wchar_t* text, size_t length) {
  if (!text || length == 0 || length > static_cast<size_t>(INT_MAX)) return {};
  int size = static_cast<int>(length);
  int n = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string narrow(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, size, narrow.data(), n, nullptr, nullptr);
  return narrow;
}

std::string WideToUtf8(const std::wstring& text) { return WideToUtf8(text.data(), text.size()); }

bool HasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

}  // namespace os
