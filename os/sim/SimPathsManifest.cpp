#include "os/sim/SimPathsManifest.h"
#include "base/Text.h"

#include <cctype>
#include <cstdint>
#include <set>

namespace os::sim {
namespace {

// Words separated by blanks or commas.
std::vector<std::string> Words(std::string_view s) {
  std::vector<std::string> out;
  std::string w;
  for (char c : s) {
    if (c == ' ' || c == '\t' || c == ',') {
      if (!w.empty()) out.push_back(w);
      w.clear();
    } else {
      w.push_back(c);
    }
  }
  if (!w.empty()) out.push_back(w);
  return out;
}

bool Number(std::string_view s, int64_t lo, int64_t hi, int64_t* out) {
  if (s.empty() || s.size() > 12) return false;
  int64_t v = 0;
  size_t i = 0;
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    i = 2;
  }
  for (; i < s.size(); ++i) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
    int d =
        c >= '0' && c <= '9' ? c - '0' : (base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1);
    if (d < 0) return false;
    v = v * base + d;
  }
  if (v < lo || v > hi) return false;
  *out = v;
  return true;
}

// A relative path that stays inside the machine folder.
bool SafePath(const std::string& p) {
  if (p.empty() || p[0] == '/' || p[0] == '\\' || p.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find_first_of("/\\", start);
    if (end == std::string::npos) end = p.size();
    if (p.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

std::string Join(const std::string& folder, const std::string& file) {
  return folder.empty() ? file : folder + "/" + file;
}

bool Files(std::string_view value, size_t most, std::vector<std::string>* names,
           std::string* error) {
  *names = Words(value);
  if (names->size() > most) {
    *error = "takes at most " + std::to_string(most) + " file(s)";
    return false;
  }
  if (names->size() == 1 && base::LowerAscii((*names)[0]) == "none") names->clear();
  for (const std::string& n : *names) {
    if (!SafePath(n)) {
      *error = "'" + n + "' must be a relative path inside the machine folder";
      return false;
    }
  }
  return true;
}

constexpr size_t MAX_HEALTH_QUEUE = 64;
constexpr size_t NVME_IDENTIFY_SIZE = 4096;

}  // namespace

KeyResult PathsDiskKey(SimDisk& disk, PathsDiskDraft& draft, const std::string& key,
                       std::string_view value, int line, std::string* error) {
  auto fail = [&](const std::string& what) {
    *error = what;
    return KeyResult::Error;
  };
  if (key == "nvme_paths") {
    disk.Nvme.Paths.fill(false);
    for (const std::string& w : Words(value)) {
      auto p = NvmePathFromName(base::LowerAscii(w));
      if (!p) {
        return fail("unknown NVMe path '" + w +
                    "' (known: storage-query, samsung, nvme-miniport, jmicron-bridge, "
                    "asmedia-bridge)");
      }
      disk.Nvme.Paths[static_cast<size_t>(*p)] = true;
    }
    return KeyResult::Ok;
  }
  if (key == "nvme_identify") {
    draft.IdentifyGiven = true;
    draft.IdentifyLine = line;
    return Files(value, 1, &draft.NvmeIdentify, error) ? KeyResult::Ok : fail(key + " " + *error);
  }
  if (key == "nvme_health") {
    draft.HealthGiven = true;
    draft.HealthLine = line;
    return Files(value, MAX_HEALTH_QUEUE, &draft.NvmeHealth, error) ? KeyResult::Ok
                                                                    : fail(key + " " + *error);
  }
  if (key == "pcie_controller") {
    disk.Pcie.ControllerId = std::string(value);
    return KeyResult::Ok;
  }
  if (key == "pcie_entity") {
    disk.Pcie.EntityId = std::string(value);
    return KeyResult::Ok;
  }
  if (key == "pcie_link") {
    std::vector<std::string> w = Words(value);
    int64_t v[4] = {};
    if (w.size() != 4 || !Number(w[0], 0, 255, &v[0]) || !Number(w[1], 0, 255, &v[1]) ||
        !Number(w[2], 0, 255, &v[2]) || !Number(w[3], 0, 255, &v[3])) {
      return fail(
          "pcie_link needs four numbers: maximum speed, maximum width, current speed, current "
          "width");
    }
    disk.Pcie.MaxSpeed = static_cast<uint8_t>(v[0]);
    disk.Pcie.MaxWidth = static_cast<uint8_t>(v[1]);
    disk.Pcie.CurrentSpeed = static_cast<uint8_t>(v[2]);
    disk.Pcie.CurrentWidth = static_cast<uint8_t>(v[3]);
    return KeyResult::Ok;
  }
  if (key == "usb_bridge") {
    disk.Usb.Forms.fill(false);
    for (const std::string& w : Words(value)) {
      auto f = BridgeFormFromName(base::LowerAscii(w));
      if (!f) {
        return fail("unknown bridge form '" + w +
                    "' (known: sat, sunplus, io-data, logitec1, logitec2, jmicron, cypress, "
                    "prolific)");
      }
      disk.Usb.Forms[static_cast<size_t>(*f)] = true;
    }
    return KeyResult::Ok;
  }
  if (key == "usb_unknown_form") {
    auto u = UnknownFormFromName(base::LowerAscii(value));
    if (!u) return fail("usb_unknown_form must be refuse, zeros or echo");
    disk.Usb.Unknown = *u;
    return KeyResult::Ok;
  }
  if (key == "csmi_phy") {
    int64_t v = 0;
    if (!Number(value, 0, 31, &v)) return fail("csmi_phy must be a phy number from 0 to 31");
    disk.CsmiPhy = static_cast<int32_t>(v);
    return KeyResult::Ok;
  }
  return KeyResult::NotMine;
}

bool FinishPathsDisk(SimDisk& disk, PathsDiskDraft& draft, ISimSource& source,
                     const std::string& folder, std::string* error, int* errorLine) {
  if (disk.Usb.Any()) disk.Paths[static_cast<size_t>(SimPath::UsbBridge)] = true;
  if (disk.CsmiPhy >= 0) {
    disk.Paths[static_cast<size_t>(SimPath::Csmi)] = true;
    if (disk.ScsiPort < 0) {
      *error = "a disk on a CSMI phy needs the scsi_port of its controller";
      *errorLine = 0;
      return false;
    }
  }
  if (!disk.Nvme.Any()) return true;
  if (!draft.IdentifyGiven && source.Exists(Join(folder, "nvme_identify.bin"))) {
    draft.NvmeIdentify = {"nvme_identify.bin"};
  }
  if (!draft.HealthGiven && source.Exists(Join(folder, "nvme_health.bin"))) {
    draft.NvmeHealth = {"nvme_health.bin"};
  }
  if (!draft.NvmeIdentify.empty()) {
    const std::string path = Join(folder, draft.NvmeIdentify[0]);
    auto bytes = source.ReadFile(path, NVME_IDENTIFY_SIZE);
    if (!bytes || bytes->size() < 512 || bytes->size() > NVME_IDENTIFY_SIZE) {
      *error = "cannot read " + source.Describe(path) + " (512 to 4096 bytes of identify data)";
      *errorLine = draft.IdentifyLine;
      return false;
    }
    disk.Nvme.Identify = std::move(*bytes);
    disk.Nvme.Identify.resize(NVME_IDENTIFY_SIZE, 0);
  } else {
    disk.Nvme.Identify.assign(NVME_IDENTIFY_SIZE, 0);
  }
  for (const std::string& name : draft.NvmeHealth) {
    const std::string path = Join(folder, name);
    auto bytes = source.ReadFile(path, 512);
    if (!bytes || bytes->size() != 512) {
      *error = "cannot read " + source.Describe(path) + " (a health log page is 512 bytes)";
      *errorLine = draft.HealthLine;
      return false;
    }
    LogPage page{};
    std::copy(bytes->begin(), bytes->end(), page.begin());
    disk.Nvme.Health.push_back(page);
  }
  return true;
}

bool CsmiKey(SimCsmiController& c, const std::string& key, std::string_view value,
             std::string* error) {
  int64_t v = 0;
  auto number = [&](int64_t lo, int64_t hi) {
    if (Number(value, lo, hi, &v)) return true;
    *error = key + " must be a number from " + std::to_string(lo) + " to " + std::to_string(hi);
    return false;
  };
  if (key == "scsi_port") {
    if (!number(0, 255)) return false;
    c.ScsiPort = static_cast<int32_t>(v);
    return true;
  }
  if (key == "phys") {
    if (!number(0, 255)) return false;
    c.Phys = static_cast<int32_t>(v);
    return true;
  }
  if (key == "raid_sets") {
    if (!number(0, 0xFFFFFFFF)) return false;
    c.RaidSets = static_cast<uint32_t>(v);
    return true;
  }
  if (key == "drives_per_set") {
    if (!number(0, 0xFFFFFFFF)) return false;
    c.DrivesPerSet = static_cast<uint32_t>(v);
    return true;
  }
  if (key == "error") {
    if (!number(1, 0xFFFFFFFF)) return false;
    c.Error = static_cast<uint32_t>(v);
    return true;
  }
  if (key == "fail") {
    // fail = REQUEST ERROR: that request fails with that system error.
    static const std::pair<const char*, uint32_t> kRequests[] = {
        {"driver-info", 1}, {"raid-info", 10}, {"raid-config", 11}, {"phy-info", 20}, {"stp", 25},
    };
    std::vector<std::string> w = Words(value);
    int64_t code = 0;
    if (w.size() == 2 && Number(w[1], 1, 0xFFFFFFFF, &code)) {
      for (const auto& [name, control] : kRequests) {
        if (base::LowerAscii(w[0]) == name) {
          c.FailCode = control;
          c.FailError = static_cast<uint32_t>(code);
          return true;
        }
      }
    }
    *error =
        "fail needs a request (driver-info, raid-info, raid-config, phy-info, stp) and a "
        "system error code";
    return false;
  }
  *error = "unknown key '" + key + "' in [csmi " + c.Name + "]";
  return false;
}

bool CheckCsmi(const SimMachine& machine, std::string* error) {
  std::set<int32_t> ports;
  for (const SimCsmiController& c : machine.CsmiControllers) {
    if (c.ScsiPort < 0) {
      *error = "[csmi " + c.Name + "] needs scsi_port";
      return false;
    }
    if (!ports.insert(c.ScsiPort).second) {
      *error = "two CSMI controllers on SCSI port " + std::to_string(c.ScsiPort);
      return false;
    }
  }
  std::set<std::pair<int32_t, int32_t>> phys;
  for (const SimDisk& d : machine.Disks) {
    if (d.CsmiPhy < 0) continue;
    if (ports.count(d.ScsiPort) == 0) {
      *error = "disk '" + d.Name + "' is on a CSMI phy but no [csmi] section has scsi_port " +
               std::to_string(d.ScsiPort);
      return false;
    }
    if (!phys.insert({d.ScsiPort, d.CsmiPhy}).second) {
      *error = "two disks on phy " + std::to_string(d.CsmiPhy) + " of SCSI port " +
               std::to_string(d.ScsiPort);
      return false;
    }
  }
  return true;
}

}  // namespace os::sim
