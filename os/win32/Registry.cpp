// The keys of HKEY_CURRENT_USER: volatile ones for the status tree, the
// lasting "Run" key for the start at log-on.
#include "os/Registry.h"

#include <windows.h>

#include "os/win32/WinText.h"

namespace os {
namespace {

// An open key, closed when the object goes.
class CRegKey {
 public:
  CRegKey() = default;
  ~CRegKey() {
    if (m_Key != nullptr) RegCloseKey(m_Key);
  }
  CRegKey(const CRegKey&) = delete;
  CRegKey& operator=(const CRegKey&) = delete;
  // True when the key was created or opened with write access.
  bool Create(const std::string& path, DWORD options) {
    if (path.empty() || HasNul(path)) return false;
    return RegCreateKeyExW(HKEY_CURRENT_USER, Utf8ToWide(path).c_str(), 0, nullptr, options,
                           KEY_SET_VALUE, nullptr, &m_Key, nullptr) == ERROR_SUCCESS;
  }
  bool Open(const std::string& path) {
    if (path.empty() || HasNul(path)) return false;
    return RegOpenKeyExW(HKEY_CURRENT_USER, Utf8ToWide(path).c_str(), 0, KEY_SET_VALUE, &m_Key) ==
           ERROR_SUCCESS;
  }
  HKEY Get() const { return m_Key; }

 private:
  HKEY m_Key = nullptr;
};

class CWin32Registry : public IRegistry {
 public:
  bool DeleteTree(const std::string& key) override {
    if (key.empty() || HasNul(key)) return false;
    const LSTATUS rc = RegDeleteTreeW(HKEY_CURRENT_USER, Utf8ToWide(key).c_str());
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
      RegDeleteKeyW(HKEY_CURRENT_USER, Utf8ToWide(key).c_str());
      return true;
    }
    return false;
  }
  bool CreateVolatileKey(const std::string& key) override {
    CRegKey k;
    return k.Create(key, REG_OPTION_VOLATILE);
  }
  bool CreateKey(const std::string& key) override {
    CRegKey k;
    return k.Create(key, REG_OPTION_NON_VOLATILE);
  }
  bool DeleteValue(const std::string& key, const std::string& name) override {
    if (key.empty() || HasNul(key) || HasNul(name)) return false;
    HKEY h = nullptr;
    const LSTATUS open =
        RegOpenKeyExW(HKEY_CURRENT_USER, Utf8ToWide(key).c_str(), 0, KEY_SET_VALUE, &h);
    if (open == ERROR_FILE_NOT_FOUND) return true;
    if (open != ERROR_SUCCESS) return false;
    const LSTATUS rc = RegDeleteValueW(h, Utf8ToWide(name).c_str());
    RegCloseKey(h);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
  }
  bool SetDword(const std::string& key, const std::string& name, uint32_t value) override {
    CRegKey k;
    if (!k.Open(key) || HasNul(name)) return false;
    const DWORD data = value;
    return RegSetValueExW(k.Get(), Utf8ToWide(name).c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
  }
  bool SetString(const std::string& key, const std::string& name,
                 const std::string& value) override {
    CRegKey k;
    if (!k.Open(key) || HasNul(name) || HasNul(value)) return false;
    const std::wstring wide = Utf8ToWide(value);
    const DWORD bytes = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(k.Get(), Utf8ToWide(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()), bytes) == ERROR_SUCCESS;
  }
};

}  // namespace

std::unique_ptr<IRegistry> CreateNativeRegistry(const std::string& /*treeRoot*/) {
  return std::make_unique<CWin32Registry>();
}

}  // namespace os
