// Device setup classes and properties of the running system (SetupDi*).
#include "os/DeviceSetup.h"

#include <windows.h>
// clang-format off
#include <setupapi.h>
#include <devpropdef.h>
// clang-format on

#include <cwchar>

namespace os {
namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Utf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
bool ParseGuid(const std::string& text, GUID* guid) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  uint8_t bytes[16];
  size_t n = 0;
  for (size_t i = 1; i + 1 < text.size();) {
    if (text[i] == '-') {
      ++i;
      continue;
    }
    int hi = HexValue(text[i]);
    int lo = HexValue(text[i + 1]);
    if (hi < 0 || lo < 0 || n >= 16) return false;
    bytes[n++] = static_cast<uint8_t>(hi * 16 + lo);
    i += 2;
  }
  if (n != 16) return false;
  guid->Data1 = (static_cast<DWORD>(bytes[0]) << 24) | (static_cast<DWORD>(bytes[1]) << 16) |
                (static_cast<DWORD>(bytes[2]) << 8) | bytes[3];
  guid->Data2 = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
  guid->Data3 = static_cast<WORD>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) guid->Data4[i] = bytes[8 + i];
  return true;
}

// SetupDiGetDevicePropertyW, looked up at run time: older systems lack it.
using GetDevicePropertyFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const DEVPROPKEY*,
                                          DEVPROPTYPE*, PBYTE, DWORD, PDWORD, DWORD);

// One device information set, destroyed on every path.
class CDeviceList {
 public:
  explicit CDeviceList(const GUID& classGuid)
      : m_Set(SetupDiGetClassDevsW(&classGuid, nullptr, nullptr, DIGCF_PRESENT)) {}
  ~CDeviceList() {
    if (m_Set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(m_Set);
  }
  CDeviceList(const CDeviceList&) = delete;
  CDeviceList& operator=(const CDeviceList&) = delete;
  HDEVINFO Get() const { return m_Set; }
  bool Valid() const { return m_Set != INVALID_HANDLE_VALUE; }

 private:
  HDEVINFO m_Set;
};

class CWin32DeviceSetup final : public IDeviceSetup {
 public:
  std::vector<std::string> PresentDevices(const std::string& classGuid) override {
    std::vector<std::string> ids;
    GUID guid;
    if (!ParseGuid(classGuid, &guid)) return ids;
    CDeviceList list(guid);
    if (!list.Valid()) return ids;
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(list.Get(), i, &data); ++i) {
      wchar_t id[260] = {};
      if (!SetupDiGetDeviceInstanceIdW(list.Get(), &data, id, 260, nullptr)) continue;
      ids.push_back(Utf8(id));
    }
    return ids;
  }

  std::optional<std::vector<uint8_t>> DeviceProperty(const std::string& instanceId,
                                                     const std::string& propertySet,
                                                     uint32_t propertyId) override {
    DEVPROPKEY key;
    if (!ParseGuid(propertySet, &key.fmtid)) return std::nullopt;
    key.pid = propertyId;
    HMODULE setupapi = LoadLibraryW(L"Setupapi.dll");
    if (setupapi == nullptr) return std::nullopt;
    auto getProperty = reinterpret_cast<GetDevicePropertyFn>(
        reinterpret_cast<void*>(GetProcAddress(setupapi, "SetupDiGetDevicePropertyW")));
    std::optional<std::vector<uint8_t>> result;
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    const std::wstring id = Wide(instanceId);
    if (getProperty != nullptr && set != INVALID_HANDLE_VALUE && !id.empty() &&
        SetupDiOpenDeviceInfoW(set, id.c_str(), nullptr, 0, &data)) {
      std::vector<uint8_t> buffer(1024, 0);
      DEVPROPTYPE type = 0;
      DWORD size = 0;
      if (getProperty(set, &data, &key, &type, buffer.data(), static_cast<DWORD>(buffer.size()),
                      &size, 0)) {
        buffer.resize(size < buffer.size() ? size : buffer.size());
        result = std::move(buffer);
      }
    }
    if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
    FreeLibrary(setupapi);
    return result;
  }
};

}  // namespace

std::unique_ptr<IDeviceSetup> CreateNativeDeviceSetup() {
  return std::make_unique<CWin32DeviceSetup>();
}

}  // namespace os
