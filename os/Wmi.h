// WMI queries: a namespace and a WQL text in, a list of objects out.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace os {

struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

// One property value. WMI strings arrive as UTF-8; integers of every width
// as int64; byte arrays (uint8[]) as bytes; string arrays as a list.
using WmiValue = std::variant<std::monostate, bool, int64_t, std::string, std::vector<uint8_t>,
                              std::vector<std::string>>;

struct WmiObject {
  std::map<std::string, WmiValue, CaseInsensitiveLess> Properties;

  // Convenience readers: empty / 0 / empty when absent or of another type.
  std::string String(const std::string& name) const;
  int64_t Int(const std::string& name, int64_t fallback = 0) const;
  std::vector<uint8_t> Bytes(const std::string& name) const;
  bool Has(const std::string& name) const;
};

// Outcome of preparing a WMI connection, by the step that failed.
enum class WmiConnectStep : uint8_t {
  Ok,            // every step succeeded
  Locator,       // the locator object could not be created
  Connect,       // ConnectServer to the namespace failed
  ProxyBlanket,  // the security blanket could not be set on the services proxy
};

struct WmiConnectResult {
  WmiConnectStep FailedStep = WmiConnectStep::Ok;
  uint32_t Error = 0;  // HRESULT of the failed step
};

class IWmi {
 public:
  virtual ~IWmi() = default;

  // Prepares a connection to `nameSpace` as discovery does before it asks
  // anything: process security, the locator, ConnectServer (waiting as long
  // as the service allows when `useMaxWait`), the proxy blanket. Backends
  // without such steps succeed.
  virtual WmiConnectResult Connect(const std::string& nameSpace, bool useMaxWait) {
    (void)nameSpace;
    (void)useMaxWait;
    return {};
  }

  // Connects to `nameSpace` ("root\\cimv2", "root\\WMI") and runs `wql`.
  // Returns nullopt when the service, the namespace or the query failed;
  // an empty list when the query ran and matched nothing.
  virtual std::optional<std::vector<WmiObject>> Query(const std::string& nameSpace,
                                                      const std::string& wql) = 0;
};

}  // namespace os
