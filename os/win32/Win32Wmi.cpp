#include "os/win32/Win32Wmi.h"

#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>
#include <windows.h>

#include <climits>
#include <cstdint>

#include "os/win32/ComPtr.h"
#include "os/win32/WinText.h"

namespace os {
namespace {

// Wait for each object of a query, in milliseconds.
constexpr long NEXT_WAIT = 10000;

std::string FromBstr(BSTR text) {
  if (!text) return {};
  return WideToUtf8(text, SysStringLen(text));
}

// Locks a one-dimensional SAFEARRAY for reading; the element count is 0
// when it is not one-dimensional or cannot be locked.
class CSafeArrayReader {
 public:
  explicit CSafeArrayReader(SAFEARRAY* array) : m_Array(array) {
    if (!m_Array || SafeArrayGetDim(m_Array) != 1) return;
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(m_Array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(m_Array, 1, &upper)) || upper < lower) {
      return;
    }
    if (FAILED(SafeArrayAccessData(m_Array, &m_Data))) {
      m_Data = nullptr;
      return;
    }
    m_Count = static_cast<size_t>(static_cast<int64_t>(upper) - lower + 1);
  }
  ~CSafeArrayReader() {
    if (m_Data) SafeArrayUnaccessData(m_Array);
  }
  CSafeArrayReader(const CSafeArrayReader&) = delete;
  CSafeArrayReader& operator=(const CSafeArrayReader&) = delete;

  size_t Count() const { return m_Count; }
  template <typename T>
  const T* Data() const {
    return static_cast<const T*>(m_Data);
  }

 private:
  SAFEARRAY* m_Array;
  void* m_Data = nullptr;
  size_t m_Count = 0;
};

// Puts the process's COM security in place once: the first call in a
// process decides, later calls get RPC_E_TOO_LATE, which is fine.
void InitializeSecurityOnce() {
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

WmiObject ReadObject(IWbemClassObject* object) {
  WmiObject out;
  if (FAILED(object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY))) return out;
  for (;;) {
    CBstr name;
    CVariant value;
    CIMTYPE type = CIM_EMPTY;
    HRESULT hr = object->Next(0, name.Put(), value.Put(), &type, nullptr);
    if (hr != WBEM_S_NO_ERROR) break;
    if (!name.Get()) continue;
    out.Properties[FromBstr(name.Get())] = ConvertWmiVariant(value.Get(), type);
  }
  object->EndEnumeration();
  return out;
}

std::optional<std::vector<WmiObject>> RunQuery(const std::string& nameSpace,
                                               const std::string& wql) {
  CComScope com;
  if (!com.Ready()) return std::nullopt;
  InitializeSecurityOnce();

  CComPtr<IWbemLocator> locator;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<void**>(locator.Put())))) {
    return std::nullopt;
  }
  CBstr resource(Utf8ToWide(nameSpace).c_str());
  CBstr language(L"WQL");
  CBstr query(Utf8ToWide(wql).c_str());
  if (!resource.Get() || !language.Get() || !query.Get()) return std::nullopt;

  CComPtr<IWbemServices> services;
  if (FAILED(locator->ConnectServer(resource.Get(), nullptr, nullptr, nullptr,
                                    WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr, nullptr,
                                    services.Put()))) {
    return std::nullopt;
  }
  if (FAILED(CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                               RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                               EOAC_NONE))) {
    return std::nullopt;
  }
  CComPtr<IEnumWbemClassObject> enumerator;
  if (FAILED(services->ExecQuery(language.Get(), query.Get(),
                                 WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                 enumerator.Put()))) {
    return std::nullopt;
  }

  std::vector<WmiObject> objects;
  for (;;) {
    CComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    HRESULT hr = enumerator->Next(NEXT_WAIT, 1, object.Put(), &returned);
    // A query that fails while being walked (an invalid class, say, with
    // return-immediately) reports it here.
    if (FAILED(hr)) return std::nullopt;
    if (returned == 0 || !object) break;
    objects.push_back(ReadObject(object.Get()));
  }
  return objects;
}

}  // namespace

WmiValue ConvertWmiVariant(const VARIANT& value, CIMTYPE type) {
  VARTYPE vt = V_VT(&value);
  switch (vt) {
    case VT_BSTR:
      return FromBstr(V_BSTR(&value));
    case VT_BOOL:
      return V_BOOL(&value) != VARIANT_FALSE;
    case VT_I1:
      return static_cast<int64_t>(V_I1(&value));
    case VT_UI1:
      return static_cast<int64_t>(V_UI1(&value));
    case VT_I2:
      return static_cast<int64_t>(V_I2(&value));
    case VT_UI2:
      return static_cast<int64_t>(V_UI2(&value));
    case VT_I4:
      // WMI hands a CIM uint32 in a signed VT_I4.
      if (type == CIM_UINT32) return static_cast<int64_t>(static_cast<uint32_t>(V_I4(&value)));
      return static_cast<int64_t>(V_I4(&value));
    case VT_UI4:
      return static_cast<int64_t>(V_UI4(&value));
    case VT_INT:
      return static_cast<int64_t>(V_INT(&value));
    case VT_UINT:
      return static_cast<int64_t>(V_UINT(&value));
    case VT_I8:
      return static_cast<int64_t>(V_I8(&value));
    case VT_UI8:
      // Values past INT64_MAX cannot be held; they stay empty rather than
      // turn negative.
      if (V_UI8(&value) > static_cast<ULONGLONG>(INT64_MAX)) return std::monostate{};
      return static_cast<int64_t>(V_UI8(&value));
    case VT_ARRAY | VT_UI1:
    case VT_ARRAY | VT_I1: {
      CSafeArrayReader reader(V_ARRAY(&value));
      const auto* data = reader.Data<uint8_t>();
      if (!data) return std::vector<uint8_t>{};
      return std::vector<uint8_t>(data, data + reader.Count());
    }
    case VT_ARRAY | VT_BSTR: {
      CSafeArrayReader reader(V_ARRAY(&value));
      std::vector<std::string> texts;
      const BSTR* data = reader.Data<BSTR>();
      if (!data) return texts;
      texts.reserve(reader.Count());
      for (size_t i = 0; i < reader.Count(); ++i) texts.push_back(FromBstr(data[i]));
      return texts;
    }
    default:
      return std::monostate{};
  }
}

std::optional<std::vector<WmiObject>> CWin32Wmi::Query(const std::string& nameSpace,
                                                       const std::string& wql) {
  if (HasNul(nameSpace) || HasNul(wql)) return std::nullopt;
  try {
    return RunQuery(nameSpace, wql);
  } catch (...) {
    return std::nullopt;
  }
}

WmiConnectResult CWin32Wmi::Connect(const std::string& nameSpace, bool useMaxWait) {
  WmiConnectResult result;
  auto fail = [&result](WmiConnectStep step, HRESULT hr) {
    result.FailedStep = step;
    result.Error = static_cast<uint32_t>(hr);
    return result;
  };
  if (HasNul(nameSpace)) return fail(WmiConnectStep::Connect, E_INVALIDARG);
  try {
    CComScope com;
    if (!com.Ready()) return fail(WmiConnectStep::Locator, E_FAIL);
    InitializeSecurityOnce();
    CComPtr<IWbemLocator> locator;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(locator.Put()));
    if (FAILED(hr)) return fail(WmiConnectStep::Locator, hr);
    CBstr resource(Utf8ToWide(nameSpace).c_str());
    if (!resource.Get()) return fail(WmiConnectStep::Connect, E_OUTOFMEMORY);
    CComPtr<IWbemServices> services;
    hr = locator->ConnectServer(resource.Get(), nullptr, nullptr, nullptr,
                                useMaxWait ? WBEM_FLAG_CONNECT_USE_MAX_WAIT : 0, nullptr, nullptr,
                                services.Put());
    if (FAILED(hr)) return fail(WmiConnectStep::Connect, hr);
    hr = CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                           RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(hr)) return fail(WmiConnectStep::ProxyBlanket, hr);
    return result;
  } catch (...) {
    return fail(WmiConnectStep::Connect, E_UNEXPECTED);
  }
}

}  // namespace os
