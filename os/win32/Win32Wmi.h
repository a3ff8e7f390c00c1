// os::IWmi on Windows: WMI through COM.
#pragma once

#include <oaidl.h>
#include <wbemcli.h>

#include "os/Wmi.h"

namespace os {

class CWin32Wmi : public IWmi {
 public:
  // Joins COM for the call, connects with IWbemLocator::ConnectServer
  // (WBEM_FLAG_CONNECT_USE_MAX_WAIT), sets the proxy blanket (Windows NT
  // authentication, call-level authentication, impersonation), runs the WQL
  // forward-only and return-immediately and reads the objects one at a time
  // with a 10-second wait each; a wait that runs out ends the list there.
  // Every COM object is released before returning. Any failure, and any
  // exception, gives nullopt.
  std::optional<std::vector<WmiObject>> Query(const std::string& nameSpace,
                                              const std::string& wql) override;
  // The same connection steps without a query, reporting which one failed
  // (discovery's check that WMI is usable at all). Everything is released
  // before returning.
  WmiConnectResult Connect(const std::string& nameSpace, bool useMaxWait) override;
};

// One property value as the program keeps it. BSTR: UTF-8 text; integers of
// every width and sign: int64 (a CIM uint32 that arrives as VT_I4 is read
// unsigned); booleans: bool; uint8 arrays: bytes; string arrays: a list.
// Anything else (null, reals, dates as other types, other arrays) is empty.
WmiValue ConvertWmiVariant(const VARIANT& value, CIMTYPE type);

}  // namespace os
