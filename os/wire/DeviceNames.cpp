#include "os/wire/DeviceNames.h"

#include <cstddef>

namespace winio {
namespace {

constexpr std::string_view LOCAL_PREFIX = "\\\\.\\";

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// `name` starts with "\\.\" followed by `word` (lower case), in any case.
bool HasPrefix(std::string_view name, std::string_view word) {
  if (name.size() < LOCAL_PREFIX.size() + word.size()) return false;
  if (name.substr(0, LOCAL_PREFIX.size()) != LOCAL_PREFIX) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (LowerAscii(name[LOCAL_PREFIX.size() + i]) != word[i]) return false;
  }
  return true;
}

// One to three decimal digits and nothing else; -1 otherwise.
int32_t SmallNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 3) return -1;
  int32_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace

std::string PhysicalDriveName(int32_t drive) {
  return std::string(LOCAL_PREFIX) + "PhysicalDrive" + std::to_string(drive);
}

std::string ScsiPortName(int32_t port) {
  return std::string(LOCAL_PREFIX) + "Scsi" + std::to_string(port) + ":";
}

std::string VolumeName(char letter) { return std::string(LOCAL_PREFIX) + letter + ":"; }

int32_t PhysicalDriveNumber(std::string_view name) {
  constexpr std::string_view WORD = "physicaldrive";
  if (!HasPrefix(name, WORD)) return -1;
  return SmallNumber(name.substr(LOCAL_PREFIX.size() + WORD.size()));
}

int32_t ScsiPortNumber(std::string_view name) {
  constexpr std::string_view WORD = "scsi";
  if (!HasPrefix(name, WORD) || name.back() != ':') return -1;
  size_t from = LOCAL_PREFIX.size() + WORD.size();
  return SmallNumber(name.substr(from, name.size() - 1 - from));
}

char VolumeLetter(std::string_view name) {
  if (name.size() != LOCAL_PREFIX.size() + 2 ||
      name.substr(0, LOCAL_PREFIX.size()) != LOCAL_PREFIX || name.back() != ':') {
    return 0;
  }
  char c = name[LOCAL_PREFIX.size()];
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'Z') return c;
  return 0;
}

}  // namespace winio
