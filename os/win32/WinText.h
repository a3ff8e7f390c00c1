// Text at the Windows boundary: the program's strings are UTF-8, the wide
// Windows calls take UTF-16.
#pragma once

#include <cstddef>
#include <string>

namespace os {

// UTF-8 to UTF-16. Invalid bytes become U+FFFD; an embedded NUL is kept (the
// caller decides whether a NUL is acceptable, see HasNul).
std::wstring Utf8ToWide(const std::string& text);
// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string WideToUtf8(const wchar_t* text, size_t length);
std::string WideToUtf8(const std::wstring& text);
// True when `text` holds a NUL byte: such a string cannot pass through a
// call that takes a NUL-terminated string without being cut short.
bool HasNul(const std::string& text);

}  // namespace os
