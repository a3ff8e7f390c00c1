// WMI answered by a simulated machine: the rows its manifest lists, plus the
// failure-prediction rows every disk with the "wmi" path and a PNP device id
// offers (MSStorageDriver_FailurePredictData / ...Thresholds in root\WMI,
// InstanceName = the PNP id followed by "_0", VendorSpecific = the sector).
// Every query is recorded.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "os/System.h"
#include "os/Wmi.h"
#include "os/sim/SimMachine.h"

namespace os::sim {

struct SimWmiQuery {
  std::string Namespace;
  std::string Wql;
};

class CSimWmi : public IWmi {
 public:
  explicit CSimWmi(SimMachine& machine) : m_Machine(machine) {}

  // Understands "SELECT <properties> FROM <class>" (every row of the class,
  // all its properties). Anything else, or a machine without WMI, fails.
  std::optional<std::vector<WmiObject>> Query(const std::string& nameSpace,
                                              const std::string& wql) override;

  const std::vector<SimWmiQuery>& Queries() const { return m_Queries; }
  void ClearQueries() { m_Queries.clear(); }

 private:
  SimMachine& m_Machine;
  std::vector<SimWmiQuery> m_Queries;
};

// The adapters the system lists with their IPv4 setup: the machine's
// root\cimv2 Win32_NetworkAdapterConfiguration rows whose IPEnabled is true,
// in row order, with "Description" and the "MACAddress" bytes (an address
// that does not read as hexadecimal pairs separated by ':' or '-' is none).
std::vector<NetworkAdapter> NetworkAdaptersOf(const SimMachine& machine);

}  // namespace os::sim
