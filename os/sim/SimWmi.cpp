#include "os/sim/SimWmi.h"

#include <cctype>

#include "base/Text.h"
#include "os/sim/SimAtaDevice.h"
#include "os/sim/SimNvme.h"
#include "os/sim/SimWmiTables.h"

namespace os::sim {
namespace {

// "\\.\root\WMI", "ROOT\\wmi" and "root\WMI" name the same namespace.
std::string NormalNamespace(const std::string& ns) {
  std::string l = base::LowerAscii(ns);
  const std::string local = "\\\\.\\";
  if (l.rfind(local, 0) == 0) l = l.substr(local.size());
  std::string out;
  for (char c : l) {
    if (c == '/') c = '\\';
    if (c == '\\' && !out.empty() && out.back() == '\\') continue;
    out.push_back(c);
  }
  return out;
}

// The class of "SELECT ... FROM Class", or empty.
std::string SelectedClass(const std::string& wql) {
  std::vector<std::string> words;
  std::string w;
  for (char c : wql) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!w.empty()) words.push_back(w);
      w.clear();
    } else {
      w.push_back(c);
    }
  }
  if (!w.empty()) words.push_back(w);
  if (words.size() < 4 || base::LowerAscii(words[0]) != "select") return {};
  for (size_t i = 1; i + 1 < words.size(); ++i) {
    if (base::LowerAscii(words[i]) == "from") {
      // Only the plain form: nothing after the class.
      return i + 2 == words.size() ? words[i + 1] : std::string();
    }
  }
  return {};
}

}  // namespace

std::optional<std::vector<WmiObject>> CSimWmi::Query(const std::string& nameSpace,
                                                     const std::string& wql) {
  m_Queries.push_back({nameSpace, wql});
  if (!m_Machine.WmiAvailable) return std::nullopt;
  if (auto rows = AnswerNvmeAssociators(m_Machine, wql)) return rows;
  bool handled = false;
  auto discovery = AnswerDiscoveryQuery(m_Machine, nameSpace, wql, &handled);
  if (handled) return discovery;
  std::string cls = SelectedClass(wql);
  if (cls.empty()) return std::nullopt;
  std::string ns = NormalNamespace(nameSpace);
  std::string lcls = base::LowerAscii(cls);
  std::vector<WmiObject> rows;
  if (ns == "root\\wmi" && (lcls == "msstoragedriver_failurepredictdata" ||
                            lcls == "msstoragedriver_failurepredictthresholds")) {
    bool data = lcls == "msstoragedriver_failurepredictdata";
    for (SimDisk& disk : m_Machine.Disks) {
      if (!disk.Answers(SimPath::Wmi) || disk.PnpDeviceId.empty()) continue;
      AtaAnswer a = ExecuteOp(disk, SimPath::Wmi, data ? SimOp::SmartData : SimOp::SmartThresholds);
      if (!a.Done() || !a.HasData) continue;
      WmiObject o;
      o.Properties["InstanceName"] = disk.PnpDeviceId + "_0";
      o.Properties["Active"] = true;
      o.Properties["VendorSpecific"] =
          std::vector<uint8_t>(a.Data.begin(), a.Data.begin() + a.DataBytes);
      rows.push_back(std::move(o));
    }
  }
  for (const SimWmiRow& row : m_Machine.WmiRows) {
    if (NormalNamespace(row.Namespace) == ns && base::LowerAscii(row.Class) == lcls) {
      rows.push_back(row.Object);
    }
  }
  return rows;
}

}  // namespace os::sim
