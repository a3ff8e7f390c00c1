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

struct Selection {
  std::string Class;     // empty when the text is not understood
  std::string Property;  // of "WHERE Property = 'value'", empty without
  std::string Value;
};

// "SELECT ... FROM Class", optionally followed by "WHERE Property = 'value'"
// (WMI compares the texts without case).
Selection Select(const std::string& wql) {
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
    if (base::LowerAscii(words[i]) != "from") continue;
    Selection s;
    s.Class = words[i + 1];
    if (i + 2 == words.size()) return s;
    if (base::LowerAscii(words[i + 2]) != "where") return {};
    // The condition again as text: Property = 'value with blanks'.
    const size_t where = base::LowerAscii(wql).find(" where ");
    if (where == std::string::npos) return {};
    const std::string condition = wql.substr(where + 7);
    const size_t eq = condition.find('=');
    const size_t open = condition.find('\'');
    const size_t close = condition.rfind('\'');
    if (eq == std::string::npos || open == std::string::npos || open < eq || close <= open ||
        condition.find_first_not_of(" \t", close + 1) != std::string::npos) {
      return {};
    }
    std::string property = condition.substr(0, eq);
    while (!property.empty() && std::isspace(static_cast<unsigned char>(property.back())))
      property.pop_back();
    while (!property.empty() && std::isspace(static_cast<unsigned char>(property.front())))
      property.erase(0, 1);
    if (property.empty() || condition.find_first_not_of(" \t", eq + 1) != open) return {};
    s.Property = property;
    s.Value = condition.substr(open + 1, close - open - 1);
    return s;
  }
  return {};
}

// A property as a condition compares it: text as it is, numbers in
// decimal, booleans "True" or "False".
std::string ConditionText(const WmiObject& o, const std::string& property) {
  auto it = o.Properties.find(property);
  if (it != o.Properties.end()) {
    if (const bool* b = std::get_if<bool>(&it->second)) return *b ? "True" : "False";
  }
  return o.String(property);
}

// "00:1A:2B:3C:4D:5E" (or with '-'): the bytes; empty when malformed.
std::vector<uint8_t> ParseHardwareAddress(const std::string& text) {
  std::vector<uint8_t> bytes;
  size_t i = 0;
  while (i < text.size()) {
    if (i + 2 > text.size() || !std::isxdigit(static_cast<unsigned char>(text[i])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
      return {};
    }
    bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    i += 2;
    if (i == text.size()) break;
    if ((text[i] != ':' && text[i] != '-') || i + 1 == text.size()) return {};
    ++i;
  }
  return bytes.size() > 8 ? std::vector<uint8_t>() : bytes;
}

}  // namespace

std::vector<NetworkAdapter> NetworkAdaptersOf(const SimMachine& machine) {
  std::vector<NetworkAdapter> adapters;
  for (const SimWmiRow& row : machine.WmiRows) {
    if (NormalNamespace(row.Namespace) != "root\\cimv2" ||
        base::LowerAscii(row.Class) != "win32_networkadapterconfiguration" ||
        base::LowerAscii(ConditionText(row.Object, "IPEnabled")) != "true") {
      continue;
    }
    adapters.push_back(
        {row.Object.String("Description"), ParseHardwareAddress(row.Object.String("MACAddress"))});
  }
  return adapters;
}

std::optional<std::vector<WmiObject>> CSimWmi::Query(const std::string& nameSpace,
                                                     const std::string& wql) {
  m_Queries.push_back({nameSpace, wql});
  if (!m_Machine.WmiAvailable) return std::nullopt;
  if (auto rows = AnswerNvmeAssociators(m_Machine, wql)) return rows;
  bool handled = false;
  auto discovery = AnswerDiscoveryQuery(m_Machine, nameSpace, wql, &handled);
  if (handled) return discovery;
  const Selection selection = Select(wql);
  const std::string& cls = selection.Class;
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
  if (!selection.Property.empty()) {
    std::erase_if(rows, [&](const WmiObject& o) {
      return base::LowerAscii(ConditionText(o, selection.Property)) !=
             base::LowerAscii(selection.Value);
    });
  }
  return rows;
}

}  // namespace os::sim
