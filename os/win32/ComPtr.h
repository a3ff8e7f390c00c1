// Owners for COM objects and the COM apartment of a thread.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <utility>

namespace os {

// Holds one reference to a COM interface and releases it when it goes.
// Put() hands out the address for a call that returns a new reference;
// whatever was held before is released first.
template <typename T>
class CComPtr {
 public:
  CComPtr() = default;
  ~CComPtr() { Reset(); }
  CComPtr(CComPtr&& other) noexcept : m_Ptr(std::exchange(other.m_Ptr, nullptr)) {}
  CComPtr& operator=(CComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      m_Ptr = std::exchange(other.m_Ptr, nullptr);
    }
    return *this;
  }
  CComPtr(const CComPtr&) = delete;
  CComPtr& operator=(const CComPtr&) = delete;

  T* Get() const { return m_Ptr; }
  T* operator->() const { return m_Ptr; }
  explicit operator bool() const { return m_Ptr != nullptr; }
  T** Put() {
    Reset();
    return &m_Ptr;
  }
  void Reset() {
    if (m_Ptr) m_Ptr->Release();
    m_Ptr = nullptr;
  }

 private:
  T* m_Ptr = nullptr;
};

// Joins the calling thread to COM for the life of the object. A thread that
// already has an apartment keeps it (RPC_E_CHANGED_MODE is not an error
// here); CoUninitialize is called only when this object's call succeeded.
class CComScope {
 public:
  CComScope() : m_Result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~CComScope() {
    if (SUCCEEDED(m_Result)) CoUninitialize();
  }
  CComScope(const CComScope&) = delete;
  CComScope& operator=(const CComScope&) = delete;

  // True when COM can be used on this thread.
  bool Ready() const { return SUCCEEDED(m_Result) || m_Result == RPC_E_CHANGED_MODE; }

 private:
  HRESULT m_Result;
};

// A BSTR freed when it goes. Null when the allocation failed.
class CBstr {
 public:
  explicit CBstr(const wchar_t* text) : m_Text(SysAllocString(text)) {}
  CBstr() = default;
  ~CBstr() { SysFreeString(m_Text); }
  CBstr(const CBstr&) = delete;
  CBstr& operator=(const CBstr&) = delete;
  BSTR Get() const { return m_Text; }
  BSTR* Put() {
    SysFreeString(m_Text);
    m_Text = nullptr;
    return &m_Text;
  }

 private:
  BSTR m_Text = nullptr;
};

// A VARIANT cleared when it goes.
class CVariant {
 public:
  CVariant() { VariantInit(&m_Value); }
  ~CVariant() { VariantClear(&m_Value); }
  CVariant(const CVariant&) = delete;
  CVariant& operator=(const CVariant&) = delete;
  VARIANT* Put() {
    VariantClear(&m_Value);
    return &m_Value;
  }
  const VARIANT& Get() const { return m_Value; }

 private:
  VARIANT m_Value;
};

}  // namespace os
