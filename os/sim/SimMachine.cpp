#include "os/sim/SimMachine.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "base/Text.h"
#include "os/sim/SimPathsManifest.h"

namespace os::sim {
namespace {

constexpr const char* kPathNames[PATH_COUNT] = {
    "ata-pass-through",
    "ide-pass-through",
    "smart-ioctl",
    "scsi-miniport",
    "silicon-image",
    "predict-failure",
    "wmi",
    "usb-bridge",
    "csmi",
};
constexpr const char* kOpNames[OP_COUNT] = {
    "identify", "smart-data", "smart-thresholds", "smart-enable", "set-features", "geometry",
};

std::string_view Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// Splits on blanks and commas.
std::vector<std::string> Words(std::string_view s) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == ',')) ++i;
    size_t b = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t' && s[i] != ',') ++i;
    if (i > b) out.emplace_back(s.substr(b, i - b));
  }
  return out;
}

// Decimal or 0x-prefixed hexadecimal, within [lo, hi].
bool ParseNumber(std::string_view s, int64_t lo, int64_t hi, int64_t* out) {
  int base = 10;
  bool negative = false;
  if (!s.empty() && s[0] == '-') {
    negative = true;
    s.remove_prefix(1);
  }
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  uint64_t v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (ec != std::errc() || p != s.data() + s.size()) return false;
  if (v > static_cast<uint64_t>(INT64_MAX)) return false;
  int64_t signedValue = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
  if (signedValue < lo || signedValue > hi) return false;
  *out = signedValue;
  return true;
}

bool ParseBool(std::string_view s, bool* out) {
  std::string l = base::LowerAscii(s);
  if (l == "yes" || l == "true" || l == "1" || l == "on") {
    *out = true;
    return true;
  }
  if (l == "no" || l == "false" || l == "0" || l == "off") {
    *out = false;
    return true;
  }
  return false;
}

bool ParseHexBytes(std::string_view s, std::vector<uint8_t>* out) {
  std::string digits;
  for (char c : s) {
    if (c == ' ' || c == '\t') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    digits.push_back(c);
  }
  if (digits.size() % 2 != 0) return false;
  out->clear();
  for (size_t i = 0; i < digits.size(); i += 2) {
    out->push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  }
  return true;
}

// A relative path inside the machine: no root, no "..", no backslashes.
bool IsSafeRelativePath(std::string_view p) {
  if (p.empty() || p.size() > 1024 || p[0] == '/' || p.find('\\') != std::string_view::npos ||
      p.find(':') != std::string_view::npos) {
    return false;
  }
  size_t i = 0;
  while (i <= p.size()) {
    size_t e = p.find('/', i);
    if (e == std::string_view::npos) e = p.size();
    std::string_view part = p.substr(i, e - i);
    if (part.empty() || part == "." || part == "..") return false;
    i = e + 1;
  }
  return true;
}

// UTF-8 text to a path, the same on every system.
std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8Of(const std::filesystem::path& p) {
  std::u8string u = p.u8string();
  return std::string(reinterpret_cast<const char*>(u.data()), u.size());
}

std::string JoinPath(const std::string& folder, const std::string& file) {
  return folder.empty() ? file : folder + "/" + file;
}

// The disk section's file references, resolved after the whole section is read.
struct FileRef {
  std::vector<std::string> Names;
  int Line = 0;
  bool Given = false;
};

struct DiskDraft {
  SimDisk Disk;
  int Line = 0;
  std::string Folder;
  bool FolderGiven = false;
  bool PathsGiven = false;
  FileRef Identify, SmartData, SmartThresholds, Sector0;
  PathsDiskDraft More;  // NVMe pages (SimPathsManifest.h)
  std::set<std::string> Keys;
};

struct WmiValueDraft {
  std::string Name;
  std::string Text;
  int Line = 0;
};

struct WmiDraft {
  SimWmiRow Row;
  std::vector<WmiValueDraft> Values;
  int Line = 0;
};

class CManifestParser {
 public:
  CManifestParser(ISimSource& source, std::string manifestName)
      : m_Source(source), m_ManifestName(std::move(manifestName)) {}

  LoadResult Parse(std::string_view text);

 private:
  bool Error(int line, const std::string& what) {
    if (m_Error.empty()) {
      std::string where = m_Source.Describe(m_ManifestName);
      m_Error = line > 0 ? where + ":" + std::to_string(line) + ": " + what : where + ": " + what;
    }
    return false;
  }
  bool Section(int line, std::string_view header);
  bool MachineKey(int line, const std::string& key, std::string_view value);
  bool DiskKey(int line, const std::string& key, std::string_view value);
  bool FaultKey(int line, const std::string& key, std::string_view value);
  bool FinishDisk(DiskDraft& d);
  bool LoadSector(const std::string& folder, const std::string& name, int line, Sector* out);
  bool FinishWmi(WmiDraft& w);
  bool CounterKey(int line, const std::string& path, std::string_view value);

  ISimSource& m_Source;
  std::string m_ManifestName;
  std::string m_Error;
  enum class Where { None, Machine, Disk, Wmi, Csmi, Performance } m_Where = Where::None;
  SimMachine m_Machine;
  bool m_VersionSeen = false;
  bool m_MachineSeen = false;
  // `smbios` and `smbios_version`: the firmware's raw table, answered as
  // MSSMBios_RawSMBiosTables.
  std::optional<std::vector<uint8_t>> m_Smbios;
  int64_t m_SmbiosVersion[2] = {3, 0};
  int m_SmbiosVersionLine = 0;
  std::vector<DiskDraft> m_Disks;
  std::vector<WmiDraft> m_Wmi;
  std::set<std::string> m_MachineKeys;
};

LoadResult CManifestParser::Parse(std::string_view text) {
  LoadResult result;
  if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
      static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF) {
    text.remove_prefix(3);
  }
  if (text.find('\0') != std::string_view::npos) {
    Error(0, "binary data, not a manifest");
    result.Error = m_Error;
    return result;
  }
  int lineNo = 0;
  size_t pos = 0;
  bool ok = true;
  while (ok && pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    if (raw.size() > MAX_LINE_LENGTH) {
      ok = Error(lineNo, "line longer than " + std::to_string(MAX_LINE_LENGTH) + " characters");
      break;
    }
    std::string_view line = Trim(raw);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      ok = Section(lineNo, line);
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      ok = Error(lineNo, "expected 'key = value' or '[section]'");
      break;
    }
    std::string key(Trim(line.substr(0, eq)));
    std::string_view value = Trim(line.substr(eq + 1));
    if (key.empty()) {
      ok = Error(lineNo, "missing key before '='");
      break;
    }
    switch (m_Where) {
      case Where::None:
        ok = Error(lineNo, "'" + key + "' outside a section");
        break;
      case Where::Machine:
        ok = MachineKey(lineNo, base::LowerAscii(key), value);
        break;
      case Where::Disk:
        ok = DiskKey(lineNo, base::LowerAscii(key), value);
        break;
      case Where::Csmi: {
        std::string what;
        ok = CsmiKey(m_Machine.CsmiControllers.back(), base::LowerAscii(key), value, &what) ||
             Error(lineNo, what);
        break;
      }
      case Where::Performance:
        ok = CounterKey(lineNo, key, value);
        break;
      case Where::Wmi:
        if (m_Wmi.back().Values.size() >= 256) {
          ok = Error(lineNo, "too many properties in one WMI row");
        } else {
          m_Wmi.back().Values.push_back({key, std::string(value), lineNo});
        }
        break;
    }
  }
  if (ok && !m_MachineSeen) ok = Error(0, "missing [machine] section with 'version = 1'");
  if (ok && !m_VersionSeen) ok = Error(0, "missing 'version = 1' in [machine]");
  for (size_t i = 0; ok && i < m_Disks.size(); ++i) ok = FinishDisk(m_Disks[i]);
  for (size_t i = 0; ok && i < m_Wmi.size(); ++i) ok = FinishWmi(m_Wmi[i]);
  if (ok && m_SmbiosVersionLine != 0 && !m_Smbios) {
    ok = Error(m_SmbiosVersionLine, "smbios_version without smbios");
  }
  if (ok && m_Smbios) {
    // What Windows hands out: the version and the structure table.
    SimWmiRow row;
    row.Namespace = "root\\WMI";
    row.Class = "MSSMBios_RawSMBiosTables";
    row.Object.Properties["SmbiosMajorVersion"] = m_SmbiosVersion[0];
    row.Object.Properties["SmbiosMinorVersion"] = m_SmbiosVersion[1];
    row.Object.Properties["DmiRevision"] = int64_t{0};
    row.Object.Properties["Size"] = static_cast<int64_t>(m_Smbios->size());
    row.Object.Properties["Used20CallingMethod"] = false;
    row.Object.Properties["SMBiosData"] = std::move(*m_Smbios);
    m_Machine.WmiRows.push_back(std::move(row));
  }
  if (ok) {
    std::set<int32_t> drives;
    for (const DiskDraft& d : m_Disks) {
      if (d.Disk.PhysicalDrive >= 0 && !drives.insert(d.Disk.PhysicalDrive).second) {
        ok = Error(d.Line, "physical drive " + std::to_string(d.Disk.PhysicalDrive) +
                               " is given to two disks");
        break;
      }
    }
  }
  if (!ok) {
    result.Error = m_Error;
    return result;
  }
  for (DiskDraft& d : m_Disks) m_Machine.Disks.push_back(std::move(d.Disk));
  for (WmiDraft& w : m_Wmi) m_Machine.WmiRows.push_back(std::move(w.Row));
  std::string what;
  if (!CheckCsmi(m_Machine, &what)) {
    Error(0, what);
    result.Error = m_Error;
    return result;
  }
  result.Machine = std::move(m_Machine);
  return result;
}

bool CManifestParser::Section(int line, std::string_view header) {
  if (header.back() != ']') return Error(line, "section header without closing ']'");
  std::string_view inner = Trim(header.substr(1, header.size() - 2));
  std::vector<std::string> words = Words(inner);
  if (words.empty()) return Error(line, "empty section name");
  std::string kind = base::LowerAscii(words[0]);
  if (kind == "machine") {
    if (words.size() != 1) return Error(line, "[machine] takes no name");
    if (m_MachineSeen) return Error(line, "second [machine] section");
    m_MachineSeen = true;
    m_Where = Where::Machine;
    return true;
  }
  if (kind == "disk") {
    if (words.size() != 2) return Error(line, "expected [disk NAME]");
    if (m_Disks.size() >= MAX_DISKS) {
      return Error(line, "more than " + std::to_string(MAX_DISKS) + " disks");
    }
    for (const DiskDraft& d : m_Disks) {
      if (base::LowerAscii(d.Disk.Name) == base::LowerAscii(words[1])) {
        return Error(line, "second disk named '" + words[1] + "'");
      }
    }
    DiskDraft d;
    d.Disk.Name = words[1];
    d.Line = line;
    d.Folder = words[1];
    m_Disks.push_back(std::move(d));
    m_Where = Where::Disk;
    return true;
  }
  if (kind == "wmi") {
    if (words.size() != 3) return Error(line, "expected [wmi NAMESPACE CLASS]");
    if (m_Wmi.size() >= MAX_WMI_ROWS) return Error(line, "too many WMI rows");
    WmiDraft w;
    w.Row.Namespace = words[1];
    w.Row.Class = words[2];
    w.Line = line;
    m_Wmi.push_back(std::move(w));
    m_Where = Where::Wmi;
    return true;
  }
  if (kind == "csmi") {
    if (words.size() != 2) return Error(line, "expected [csmi NAME]");
    if (m_Machine.CsmiControllers.size() >= 16) return Error(line, "more than 16 CSMI controllers");
    SimCsmiController c;
    c.Name = words[1];
    m_Machine.CsmiControllers.push_back(std::move(c));
    m_Where = Where::Csmi;
    return true;
  }
  if (kind == "performance") {
    if (words.size() != 1) return Error(line, "[performance] takes no name");
    m_Where = Where::Performance;
    return true;
  }
  return Error(line, "unknown section [" + words[0] +
                         "] (expected machine, disk, wmi, csmi or performance)");
}

// "\\Processor(_Total)\\% Processor Time = 12 30.5 - 7": one value per
// collection, "-" for none.
bool CManifestParser::CounterKey(int line, const std::string& path, std::string_view value) {
  if (m_Machine.Counters.size() >= 256) return Error(line, "more than 256 counters");
  for (const auto& existing : m_Machine.Counters) {
    if (base::LowerAscii(existing.first) == base::LowerAscii(path)) {
      return Error(line, "counter '" + path + "' given twice");
    }
  }
  std::vector<std::optional<double>> values;
  for (const std::string& word : Words(value)) {
    if (word == "-") {
      values.emplace_back();
      continue;
    }
    double v = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
    if (ec != std::errc() || end != word.data() + word.size() || !(v >= 0) || v > 1e18) {
      return Error(line, "counter values must be numbers from 0 to 1e18, or '-'");
    }
    values.emplace_back(v);
  }
  if (values.empty()) return Error(line, "counter '" + path + "' without values");
  m_Machine.Counters.emplace_back(path, std::move(values));
  return true;
}

bool CManifestParser::MachineKey(int line, const std::string& key, std::string_view value) {
  if (!m_MachineKeys.insert(key).second) return Error(line, "'" + key + "' given twice");
  if (key == "version") {
    int64_t v = 0;
    if (!ParseNumber(value, 0, 1000000, &v)) return Error(line, "version must be a number");
    if (v < 1 || v > MACHINE_FORMAT_VERSION) {
      return Error(line, "unsupported machine format version " + std::to_string(v) +
                             " (this program reads versions 1 to " +
                             std::to_string(MACHINE_FORMAT_VERSION) + ")");
    }
    m_VersionSeen = true;
    m_Machine.Version = static_cast<int>(v);
    return true;
  }
  if (key == "os") {
    // "MAJOR.MINOR[.BUILD]"
    std::vector<std::string> parts;
    std::string_view v = value;
    size_t i = 0;
    while (i <= v.size()) {
      size_t e = v.find('.', i);
      if (e == std::string_view::npos) e = v.size();
      parts.emplace_back(v.substr(i, e - i));
      i = e + 1;
    }
    int64_t n[3] = {0, 0, 0};
    if (parts.size() < 2 || parts.size() > 3) {
      return Error(line, "os must read MAJOR.MINOR or MAJOR.MINOR.BUILD");
    }
    for (size_t k = 0; k < parts.size(); ++k) {
      if (!ParseNumber(parts[k], 0, 0x7FFFFFFF, &n[k])) {
        return Error(line, "os must read MAJOR.MINOR or MAJOR.MINOR.BUILD");
      }
    }
    m_Machine.Os.MajorVersion = static_cast<uint32_t>(n[0]);
    m_Machine.Os.MinorVersion = static_cast<uint32_t>(n[1]);
    m_Machine.Os.BuildNumber = static_cast<uint32_t>(n[2]);
    return true;
  }
  if (key == "service_pack") {
    m_Machine.Os.CSDVersion = std::string(value);
    const std::string prefix = "Service Pack ";
    if (m_Machine.Os.CSDVersion.rfind(prefix, 0) == 0) {
      int64_t sp = 0;
      if (ParseNumber(m_Machine.Os.CSDVersion.substr(prefix.size()), 0, 0xFFFF, &sp)) {
        m_Machine.Os.ServicePackMajor = static_cast<uint16_t>(sp);
      }
    }
    return true;
  }
  if (key == "os_extended") {
    bool b = true;
    if (!ParseBool(value, &b)) return Error(line, "os_extended must be yes or no");
    m_Machine.Os.Extended = b;
    return true;
  }
  if (key == "wmi") {
    bool b = true;
    if (!ParseBool(value, &b)) return Error(line, "wmi must be yes or no");
    m_Machine.WmiAvailable = b;
    return true;
  }
  if (key == "architecture") {
    const std::string a = base::LowerAscii(value);
    if (a == "x64") {
      m_Machine.Architecture = PROCESSOR_ARCH_X64;
    } else if (a == "x86") {
      m_Machine.Architecture = PROCESSOR_ARCH_X86;
    } else if (a == "arm64") {
      m_Machine.Architecture = PROCESSOR_ARCH_ARM64;
    } else if (a == "ia64") {
      m_Machine.Architecture = PROCESSOR_ARCH_IA64;
    } else if (a == "unknown") {
      m_Machine.Architecture = PROCESSOR_ARCH_UNKNOWN;
    } else {
      return Error(line, "architecture must be x64, x86, arm64, ia64 or unknown");
    }
    return true;
  }
  if (key == "cpu") {
    m_Machine.CpuBrand = std::string(value);
    return true;
  }
  if (key == "memory") {
    int64_t mb = 0;
    if (!ParseNumber(value, 0, int64_t{1} << 32, &mb)) {
      return Error(line, "memory must be the installed MiB (0 for unknown)");
    }
    m_Machine.MemoryBytes = static_cast<uint64_t>(mb) * 1024 * 1024;
    return true;
  }
  if (key == "smbios") {
    const std::string path(value);
    m_Smbios = m_Source.ReadFile(path, MAX_DATA_FILE_SIZE);
    if (!m_Smbios) {
      return Error(line, "cannot read " + m_Source.Describe(path) + " (at most " +
                             std::to_string(MAX_DATA_FILE_SIZE) + " bytes)");
    }
    return true;
  }
  if (key == "smbios_version") {
    const size_t dot = value.find('.');
    if (dot == std::string_view::npos ||
        !ParseNumber(value.substr(0, dot), 0, 255, &m_SmbiosVersion[0]) ||
        !ParseNumber(value.substr(dot + 1), 0, 255, &m_SmbiosVersion[1])) {
      return Error(line, "smbios_version must read MAJOR.MINOR (0 to 255 each)");
    }
    m_SmbiosVersionLine = line;
    return true;
  }
  return Error(line, "unknown key '" + key + "' in [machine]");
}

bool CManifestParser::DiskKey(int line, const std::string& key, std::string_view value) {
  DiskDraft& d = m_Disks.back();
  SimDisk& disk = d.Disk;
  if (!d.Keys.insert(key).second) return Error(line, "'" + key + "' given twice");
  auto number = [&](int64_t lo, int64_t hi, int32_t* out) {
    int64_t v = 0;
    if (!ParseNumber(value, lo, hi, &v)) {
      return Error(
          line, key + " must be a number from " + std::to_string(lo) + " to " + std::to_string(hi));
    }
    *out = static_cast<int32_t>(v);
    return true;
  };
  auto files = [&](FileRef* ref, size_t most) {
    ref->Names = Words(value);
    ref->Line = line;
    ref->Given = true;
    if (ref->Names.size() > most) {
      return Error(line, key + " takes at most " + std::to_string(most) + " file(s)");
    }
    if (ref->Names.size() == 1 && base::LowerAscii(ref->Names[0]) == "none") ref->Names.clear();
    for (const std::string& n : ref->Names) {
      if (!IsSafeRelativePath(n)) {
        return Error(line, "'" + n + "' must be a relative path inside the machine folder");
      }
    }
    return true;
  };
  if (key.rfind("fault.", 0) == 0) return FaultKey(line, key, value);
  if (key.rfind("volume.", 0) == 0) {
    // volume.X = LABEL, TOTAL_MB, FREE_MB
    const char u = key.size() == 8
                       ? static_cast<char>(std::toupper(static_cast<unsigned char>(key[7])))
                       : '\0';
    if (u < 'A' || u > 'Z') return Error(line, "volume.X needs one drive letter A to Z");
    const size_t first = value.find(',');
    const size_t second = first == std::string_view::npos ? first : value.find(',', first + 1);
    int64_t total = 0, free = 0;
    if (second == std::string_view::npos ||
        !ParseNumber(Trim(value.substr(first + 1, second - first - 1)), 0, INT64_MAX >> 20,
                     &total) ||
        !ParseNumber(Trim(value.substr(second + 1)), 0, total, &free)) {
      return Error(line, "volume." + std::string(1, u) +
                             " needs LABEL, TOTAL_MB, FREE_MB (free at most the total)");
    }
    VolumeInfo& v = disk.Volumes[u];
    v.Label = std::string(Trim(value.substr(0, first)));
    v.TotalBytes = static_cast<uint64_t>(total) << 20;
    v.FreeBytes = static_cast<uint64_t>(free) << 20;
    return true;
  }
  if (key == "folder") {
    std::string f(value);
    if (f != "." && !IsSafeRelativePath(f)) {
      return Error(line, "folder must be a relative path inside the machine folder");
    }
    d.Folder = f == "." ? std::string() : f;
    d.FolderGiven = true;
    return true;
  }
  if (key == "physical_drive") return number(0, 255, &disk.PhysicalDrive);
  if (key == "scsi_port") return number(0, 255, &disk.ScsiPort);
  if (key == "scsi_target") return number(0, 255, &disk.ScsiTarget);
  if (key == "scsi_bus") return number(0, 255, &disk.ScsiBus);
  if (key == "silicon_image") return number(1, 99999, &disk.SiliconImageType);
  if (key == "predict_failure") {
    int32_t v = 0;
    if (!number(0, 1, &v)) return false;
    disk.PredictFailure = static_cast<uint32_t>(v);
    return true;
  }
  if (key == "open_error") {
    int32_t v = 0;
    if (!number(1, 0xFFFF, &v)) return false;
    disk.OpenError = static_cast<uint32_t>(v);
    return true;
  }
  if (key == "scsi_port_visible") {
    if (!ParseBool(value, &disk.ScsiPortVisible)) return Error(line, key + " must be yes or no");
    return true;
  }
  if (key == "target") {
    std::string v = base::LowerAscii(value);
    if (v == "a0" || v == "0xa0") {
      disk.Target = 0xA0;
    } else if (v == "b0" || v == "0xb0") {
      disk.Target = 0xB0;
    } else {
      return Error(line, "target must be A0 or B0");
    }
    return true;
  }
  if (key == "paths") {
    d.PathsGiven = true;
    disk.Paths.fill(false);
    for (const std::string& w : Words(value)) {
      auto p = PathFromName(base::LowerAscii(w));
      if (!p) {
        std::string known;
        for (const char* n : kPathNames) known += std::string(known.empty() ? "" : ", ") + n;
        return Error(line, "unknown path '" + w + "' (known: " + known + ")");
      }
      disk.Paths[static_cast<size_t>(*p)] = true;
    }
    return true;
  }
  if (key == "media") {
    std::string v = base::LowerAscii(value);
    if (v == "fixed") {
      disk.MediaType = 12;
    } else if (v == "removable") {
      disk.MediaType = 11;
    } else if (v == "none") {
      disk.HasGeometry = false;
    } else {
      return Error(line, "media must be fixed, removable or none");
    }
    return true;
  }
  if (key == "size") {
    int64_t v = 0;
    if (!ParseNumber(value, 0, INT64_MAX, &v)) return Error(line, "size must be a byte count");
    disk.SizeBytes = static_cast<uint64_t>(v);
    return true;
  }
  if (key == "bus") {
    static const std::pair<const char*, uint32_t> kBuses[] = {
        {"unknown", 0x00}, {"scsi", 0x01}, {"atapi", 0x02}, {"ata", 0x03},  {"1394", 0x04},
        {"usb", 0x07},     {"raid", 0x08}, {"sas", 0x0A},   {"sata", 0x0B}, {"nvme", 0x11},
    };
    std::string v = base::LowerAscii(value);
    for (const auto& [name, code] : kBuses) {
      if (v == name) {
        disk.BusType = code;
        return true;
      }
    }
    return Error(line,
                 "bus must be one of unknown, scsi, atapi, ata, 1394, usb, raid, sas, "
                 "sata, nvme");
  }
  if (key == "vendor") {
    disk.Vendor = std::string(value);
    return true;
  }
  if (key == "pnp_device_id") {
    disk.PnpDeviceId = std::string(value);
    return true;
  }
  if (key == "letters") {
    std::string letters;
    for (char c : value) {
      if (c == ' ' || c == ',' || c == ':') continue;
      char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (u < 'A' || u > 'Z') return Error(line, "letters must be drive letters A to Z");
      if (letters.find(u) == std::string::npos) letters.push_back(u);
    }
    disk.DriveLetters = letters;
    return true;
  }
  if (key == "identify") return files(&d.Identify, 1);
  if (key == "smart_data") return files(&d.SmartData, MAX_SMART_QUEUE);
  if (key == "smart_thresholds") return files(&d.SmartThresholds, 1);
  if (key == "sector0") return files(&d.Sector0, 1);
  std::string what;
  switch (PathsDiskKey(disk, d.More, key, value, line, &what)) {
    case KeyResult::Ok:
      return true;
    case KeyResult::Error:
      return Error(line, what);
    case KeyResult::NotMine:
      break;
  }
  return Error(line, "unknown key '" + key + "' in [disk " + disk.Name + "]");
}

bool CManifestParser::FaultKey(int line, const std::string& key, std::string_view value) {
  SimDisk& disk = m_Disks.back().Disk;
  // fault.OP or fault.PATH.OP
  std::string rest = key.substr(6);
  size_t dot = rest.find('.');
  size_t slot = 0;
  std::string opName = rest;
  if (dot != std::string::npos) {
    auto p = PathFromName(rest.substr(0, dot));
    if (!p) return Error(line, "unknown path '" + rest.substr(0, dot) + "' in '" + key + "'");
    slot = 1 + static_cast<size_t>(*p);
    opName = rest.substr(dot + 1);
  }
  auto op = OpFromName(opName);
  if (!op) {
    return Error(line, "unknown operation '" + opName +
                           "' (known: identify, smart-data, smart-thresholds, smart-enable, "
                           "set-features, geometry)");
  }
  std::vector<std::string> w = Words(value);
  Fault f;
  std::string kind = w.empty() ? std::string() : base::LowerAscii(w[0]);
  if (kind == "no-answer" && w.size() == 1) {
    f.Kind = FaultKind::NoAnswer;
  } else if (kind == "zero" && w.size() == 1) {
    f.Kind = FaultKind::Zero;
  } else if (kind == "error" && w.size() == 2) {
    int64_t code = 0;
    if (!ParseNumber(w[1], 1, 0xFFFFFFFF, &code)) {
      return Error(line, "error needs a non-zero system error code");
    }
    f.Kind = FaultKind::Error;
    f.Error = static_cast<uint32_t>(code);
  } else if (kind == "short" && (w.size() == 1 || w.size() == 2)) {
    int64_t bytes = 256;
    if (w.size() == 2 && !ParseNumber(w[1], 0, 511, &bytes)) {
      return Error(line, "short takes a byte count from 0 to 511");
    }
    f.Kind = FaultKind::Short;
    f.Bytes = static_cast<uint32_t>(bytes);
  } else if (kind == "blank-model" && w.size() == 1) {
    if (*op != SimOp::Identify) return Error(line, "blank-model applies to identify only");
    f.Kind = FaultKind::BlankModel;
  } else if (kind == "echo-data" && w.size() == 1) {
    if (*op != SimOp::SmartThresholds) {
      return Error(line, "echo-data applies to smart-thresholds only");
    }
    f.Kind = FaultKind::EchoData;
  } else if (kind == "none" && w.size() == 1) {
    f.Kind = FaultKind::None;
  } else {
    return Error(line,
                 "fault must be no-answer, zero, short [BYTES], error CODE, blank-model, "
                 "echo-data or none");
  }
  disk.Faults[slot][static_cast<size_t>(*op)] = f;
  return true;
}

bool CManifestParser::LoadSector(const std::string& folder, const std::string& name, int line,
                                 Sector* out) {
  std::string path = JoinPath(folder, name);
  auto bytes = m_Source.ReadFile(path, MAX_DATA_FILE_SIZE);
  if (!bytes) return Error(line, "cannot read " + m_Source.Describe(path));
  if (bytes->size() != out->size()) {
    return Error(line, m_Source.Describe(path) + " is " + std::to_string(bytes->size()) +
                           " bytes; a sector file must be 512");
  }
  std::copy(bytes->begin(), bytes->end(), out->begin());
  return true;
}

bool CManifestParser::FinishDisk(DiskDraft& d) {
  SimDisk& disk = d.Disk;
  if (!d.PathsGiven) {
    for (SimPath p : {SimPath::AtaPassThrough, SimPath::IdePassThrough, SimPath::SmartIoctl,
                      SimPath::PredictFailure}) {
      disk.Paths[static_cast<size_t>(p)] = true;
    }
  }
  if (disk.PhysicalDrive < 0 && disk.ScsiPort < 0) {
    return Error(d.Line, "disk '" + disk.Name + "' needs physical_drive or scsi_port");
  }
  if (disk.SiliconImageType != 0 && (disk.ScsiPort < 0 || disk.ScsiBus < 0)) {
    return Error(d.Line, "a Silicon Image disk needs scsi_port and scsi_bus");
  }
  if (disk.Answers(SimPath::ScsiMiniport) && (disk.ScsiPort < 0 || disk.ScsiTarget < 0)) {
    return Error(d.Line, "the scsi-miniport path needs scsi_port and scsi_target");
  }
  // Default file names are optional; named files must exist.
  auto optionalDefault = [&](FileRef& ref, const char* def) {
    if (ref.Given) return;
    std::string path = JoinPath(d.Folder, def);
    if (m_Source.Exists(path)) {
      ref.Names = {def};
      ref.Line = d.Line;
    }
  };
  optionalDefault(d.Identify, "identify.bin");
  optionalDefault(d.SmartData, "smart_data.bin");
  optionalDefault(d.SmartThresholds, "smart_thresholds.bin");
  if (!d.Identify.Names.empty()) {
    Sector s{};
    if (!LoadSector(d.Folder, d.Identify.Names[0], d.Identify.Line, &s)) return false;
    disk.Identify = s;
  }
  for (const std::string& n : d.SmartData.Names) {
    Sector s{};
    if (!LoadSector(d.Folder, n, d.SmartData.Line, &s)) return false;
    disk.SmartData.push_back(s);
  }
  if (!d.SmartThresholds.Names.empty()) {
    Sector s{};
    if (!LoadSector(d.Folder, d.SmartThresholds.Names[0], d.SmartThresholds.Line, &s)) {
      return false;
    }
    disk.SmartThresholds = s;
  }
  if (!d.Sector0.Names.empty()) {
    std::string path = JoinPath(d.Folder, d.Sector0.Names[0]);
    auto bytes = m_Source.ReadFile(path, 4096);
    if (!bytes) {
      return Error(d.Sector0.Line,
                   "cannot read " + m_Source.Describe(path) + " (at most 4096 bytes)");
    }
    disk.Sector0 = std::move(*bytes);
  }
  std::string what;
  int line = d.Line;
  if (!FinishPathsDisk(disk, d.More, m_Source, d.Folder, &what, &line)) {
    return Error(line == 0 ? d.Line : line, what);
  }
  return true;
}

bool CManifestParser::FinishWmi(WmiDraft& w) {
  for (const WmiValueDraft& v : w.Values) {
    if (w.Row.Object.Properties.count(v.Name)) {
      return Error(v.Line, "property '" + v.Name + "' given twice");
    }
    std::string_view text = v.Text;
    WmiValue value;
    auto prefixed = [&](std::string_view prefix) {
      if (text.size() >= prefix.size() &&
          base::LowerAscii(text.substr(0, prefix.size())) == prefix) {
        text.remove_prefix(prefix.size());
        return true;
      }
      return false;
    };
    if (prefixed("str:")) {
      value = std::string(text);
    } else if (prefixed("int:")) {
      int64_t n = 0;
      if (!ParseNumber(Trim(text), INT64_MIN + 1, INT64_MAX, &n)) {
        return Error(v.Line, "int: needs a number");
      }
      value = n;
    } else if (prefixed("bool:")) {
      bool b = false;
      if (!ParseBool(Trim(text), &b)) return Error(v.Line, "bool: needs yes or no");
      value = b;
    } else if (prefixed("hex:")) {
      std::vector<uint8_t> bytes;
      if (!ParseHexBytes(text, &bytes)) return Error(v.Line, "hex: needs pairs of hex digits");
      value = std::move(bytes);
    } else if (prefixed("file:")) {
      std::string path(Trim(text));
      if (!IsSafeRelativePath(path)) {
        return Error(v.Line, "'" + path + "' must be a relative path inside the machine folder");
      }
      auto bytes = m_Source.ReadFile(path, MAX_DATA_FILE_SIZE);
      if (!bytes) return Error(v.Line, "cannot read " + m_Source.Describe(path));
      value = std::move(*bytes);
    } else if (prefixed("list:")) {
      std::vector<std::string> items;
      size_t i = 0;
      while (i <= text.size()) {
        size_t e = text.find('|', i);
        if (e == std::string_view::npos) e = text.size();
        items.emplace_back(Trim(text.substr(i, e - i)));
        i = e + 1;
      }
      value = std::move(items);
    } else {
      value = std::string(text);
    }
    w.Row.Object.Properties.emplace(v.Name, std::move(value));
  }
  return true;
}

bool LoadMinimal(ISimSource& source, LoadResult* result) {
  SimMachine machine;
  int32_t drive = 0;
  for (const std::string& folder : source.ListFolders()) {
    auto identify = source.ReadFile(folder + "/identify.bin", MAX_DATA_FILE_SIZE);
    if (!identify) continue;  // not a disk folder
    if (machine.Disks.size() >= MAX_DISKS) {
      result->Error = source.Describe("") + ": more than " + std::to_string(MAX_DISKS) + " disks";
      return false;
    }
    SimDisk disk;
    disk.Name = folder;
    disk.PhysicalDrive = drive++;
    for (SimPath p : {SimPath::AtaPassThrough, SimPath::IdePassThrough, SimPath::SmartIoctl,
                      SimPath::PredictFailure}) {
      disk.Paths[static_cast<size_t>(p)] = true;
    }
    auto sector = [&](const std::string& name, std::optional<std::vector<uint8_t>> bytes,
                      Sector* out) {
      if (!bytes) return true;
      if (bytes->size() != out->size()) {
        result->Error = source.Describe(folder + "/" + name) + ": is " +
                        std::to_string(bytes->size()) + " bytes; a sector file must be 512";
        return false;
      }
      std::copy(bytes->begin(), bytes->end(), out->begin());
      return true;
    };
    Sector s{};
    if (!sector("identify.bin", identify, &s)) return false;
    disk.Identify = s;
    auto data = source.ReadFile(folder + "/smart_data.bin", MAX_DATA_FILE_SIZE);
    if (data) {
      if (!sector("smart_data.bin", data, &s)) return false;
      disk.SmartData.push_back(s);
    }
    auto thresholds = source.ReadFile(folder + "/smart_thresholds.bin", MAX_DATA_FILE_SIZE);
    if (thresholds) {
      if (!sector("smart_thresholds.bin", thresholds, &s)) return false;
      disk.SmartThresholds = s;
    }
    machine.Disks.push_back(std::move(disk));
  }
  if (machine.Disks.empty()) {
    result->Error = source.Describe("") + ": no " + MANIFEST_NAME +
                    " and no sub-folder with identify.bin: not a machine";
    return false;
  }
  result->Machine = std::move(machine);
  return true;
}

}  // namespace

const char* PathName(SimPath path) {
  size_t i = static_cast<size_t>(path);
  return i < PATH_COUNT ? kPathNames[i] : "?";
}

std::optional<SimPath> PathFromName(std::string_view name) {
  for (size_t i = 0; i < PATH_COUNT; ++i) {
    if (name == kPathNames[i]) return static_cast<SimPath>(i);
  }
  return std::nullopt;
}

const char* OpName(SimOp op) {
  size_t i = static_cast<size_t>(op);
  return i < OP_COUNT ? kOpNames[i] : "?";
}

std::optional<SimOp> OpFromName(std::string_view name) {
  for (size_t i = 0; i < OP_COUNT; ++i) {
    if (name == kOpNames[i]) return static_cast<SimOp>(i);
  }
  return std::nullopt;
}

const Fault& SimDisk::FaultFor(SimPath path, SimOp op) const {
  size_t o = static_cast<size_t>(op);
  const Fault& specific = Faults[1 + static_cast<size_t>(path)][o];
  return specific.Kind != FaultKind::None ? specific : Faults[0][o];
}

uint64_t SimDisk::SectorCount() const {
  if (SizeBytes != 0) return SizeBytes / 512;
  if (!Identify) return 0;
  const Sector& id = *Identify;
  auto word = [&](size_t w) { return static_cast<uint64_t>(id[2 * w] | (id[2 * w + 1] << 8)); };
  uint64_t lba48 = word(100) | (word(101) << 16) | (word(102) << 32) | (word(103) << 48);
  if ((word(83) & (1u << 10)) && lba48 != 0) return lba48;
  return word(60) | (word(61) << 16);
}

SimMachine::SimMachine() {
  Os.MajorVersion = 10;
  Os.MinorVersion = 0;
  Os.BuildNumber = 19045;
}

std::optional<std::vector<uint8_t>> CFolderSource::ReadFile(const std::string& path, size_t limit) {
  namespace fs = std::filesystem;
  if (!IsSafeRelativePath(path)) return std::nullopt;
  std::error_code ec;
  fs::path full = PathOf(m_Root) / PathOf(path);
  if (!fs::is_regular_file(full, ec)) return std::nullopt;
  uintmax_t size = fs::file_size(full, ec);
  if (ec || size > limit) return std::nullopt;
  std::ifstream in(full, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (size > 0) in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  if (!in || static_cast<uintmax_t>(in.gcount()) != size) return std::nullopt;
  return bytes;
}

bool CFolderSource::Exists(const std::string& path) {
  std::error_code ec;
  return IsSafeRelativePath(path) && std::filesystem::exists(PathOf(m_Root) / PathOf(path), ec);
}

std::vector<std::string> CFolderSource::ListFolders() {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(PathOf(m_Root), ec);
  if (ec) return names;
  for (const fs::directory_entry& e : it) {
    std::error_code ec2;
    if (e.is_directory(ec2)) names.push_back(Utf8Of(e.path().filename()));
    if (names.size() > 4096) break;
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string CFolderSource::Describe(const std::string& path) {
  if (path.empty()) return m_Root;
  std::string sep = (!m_Root.empty() && (m_Root.back() == '/' || m_Root.back() == '\\')) ? "" : "/";
  return m_Root + sep + path;
}

bool CFolderSource::IsFolder() const {
  std::error_code ec;
  return std::filesystem::is_directory(PathOf(m_Root), ec);
}

std::optional<std::vector<uint8_t>> CMemorySource::ReadFile(const std::string& path, size_t limit) {
  auto it = m_Files.find(path);
  if (it == m_Files.end() || it->second.size() > limit) return std::nullopt;
  return it->second;
}

std::vector<std::string> CMemorySource::ListFolders() {
  std::set<std::string> names;
  for (const auto& [path, bytes] : m_Files) {
    size_t slash = path.find('/');
    if (slash != std::string::npos && slash > 0) names.insert(path.substr(0, slash));
  }
  return {names.begin(), names.end()};
}

std::string CMemorySource::Describe(const std::string& path) {
  return path.empty() ? m_Label : m_Label + "/" + path;
}

LoadResult LoadMachine(ISimSource& source) {
  LoadResult result;
  auto manifest = source.ReadFile(MANIFEST_NAME, MAX_MANIFEST_SIZE);
  if (!manifest) {
    // Missing, or too big to be one: tell the two apart.
    if (source.Exists(MANIFEST_NAME)) {
      result.Error = source.Describe(MANIFEST_NAME) + ": cannot be read, or larger than 1 MiB";
      return result;
    }
    LoadMinimal(source, &result);
    return result;
  }
  CManifestParser parser(source, MANIFEST_NAME);
  std::string_view text(reinterpret_cast<const char*>(manifest->data()), manifest->size());
  return parser.Parse(text);
}

LoadResult LoadMachineFolder(const std::string& folder) {
  CFolderSource source(folder);
  if (!source.IsFolder()) {
    LoadResult result;
    result.Error = folder + ": not a folder";
    return result;
  }
  return LoadMachine(source);
}

}  // namespace os::sim
