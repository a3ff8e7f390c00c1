// Mounted file systems and the disks they live on. Linux has no drive
// letters; the program shows a disk's mount points ("/", "/home") instead.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "os/linux/SysfsDisks.h"

namespace os {

struct LinuxMount {
  std::string Source;      // "/dev/sda2", "/dev/mapper/home", "tmpfs"
  std::string MountPoint;  // octal escapes ("\040" for a blank) decoded
  std::string FsType;
};

// Parses the text of /proc/self/mounts. Lines with fewer than three fields
// are skipped.
std::vector<LinuxMount> ParseMounts(const std::string& text);

// Mount points per whole-disk kernel name ("sda" -> {"/", "/boot/efi"}), in
// mount-table order without repeats. A file system on a device-mapper or md
// volume counts for every disk below it. Sources that are not block devices
// (tmpfs, proc, ...) are ignored.
std::map<std::string, std::vector<std::string>> MountPointsByDisk(const CSysfsDisks& disks);

}  // namespace os
