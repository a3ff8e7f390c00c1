#include "os/linux/MountTable.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "base/DebugLog.h"

namespace fs = std::filesystem;

namespace os {
namespace {

std::string DecodeOctal(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const char* p = field.c_str() + i + 1;
      if (p[0] >= '0' && p[0] <= '3' && p[1] >= '0' && p[1] <= '7' && p[2] >= '0' && p[2] <= '7') {
        out += static_cast<char>((p[0] - '0') * 64 + (p[1] - '0') * 8 + (p[2] - '0'));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

// The kernel name of the block device a mount's source names, following
// links under the /dev root (/dev/mapper/home -> dm-0, by-uuid links).
std::string SourceBlockName(const LinuxRoots& roots, const std::string& source) {
  if (source.rfind("/dev/", 0) != 0) return {};
  std::string rest = source.substr(5);
  if (rest.empty() || rest.find("..") != std::string::npos) return {};
  std::error_code ec;
  fs::path p = fs::canonical(roots.Dev + "/" + rest, ec);
  if (!ec) return p.filename().string();
  return fs::path(rest).filename().string();
}

// "/dev/root" and other names sysfs does not know: ask the file system
// which device it sits on. Only meaningful on the live system.
std::string BlockNameOfMountPoint(const LinuxRoots& roots, const std::string& mountPoint) {
  struct stat st {};
  if (stat(mountPoint.c_str(), &st) != 0) return {};
  std::string link = roots.Sys + "/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                     std::to_string(minor(st.st_dev));
  std::error_code ec;
  fs::path p = fs::canonical(link, ec);
  return ec ? std::string() : p.filename().string();
}

}  // namespace

std::vector<LinuxMount> ParseMounts(const std::string& text) {
  std::vector<LinuxMount> mounts;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    LinuxMount m;
    if (!(fields >> m.Source >> m.MountPoint >> m.FsType)) continue;
    m.Source = DecodeOctal(m.Source);
    m.MountPoint = DecodeOctal(m.MountPoint);
    mounts.push_back(std::move(m));
  }
  return mounts;
}

std::map<std::string, std::vector<std::string>> MountPointsByDisk(const CSysfsDisks& disks) {
  std::map<std::string, std::vector<std::string>> result;
  const LinuxRoots& roots = disks.Roots();
  auto text = ReadSysText(roots.Mounts);
  if (!text) {
    base::DebugLogF("mounts: cannot read %s", roots.Mounts.c_str());
    return result;
  }
  bool live = roots.Sys == "/sys";
  for (const auto& m : ParseMounts(*text)) {
    std::string name = SourceBlockName(roots, m.Source);
    std::vector<std::string> below =
        name.empty() ? std::vector<std::string>{} : disks.DisksBelow(name);
    if (below.empty() && live && m.Source.rfind("/dev/", 0) == 0) {
      name = BlockNameOfMountPoint(roots, m.MountPoint);
      if (!name.empty()) below = disks.DisksBelow(name);
    }
    for (const auto& disk : below) {
      auto& points = result[disk];
      if (std::find(points.begin(), points.end(), m.MountPoint) == points.end()) {
        points.push_back(m.MountPoint);
      }
    }
  }
  return result;
}

}  // namespace os
