#include "os/linux/LinuxSystem.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "os/linux/LinuxMachineInfo.h"

extern char** environ;

namespace os {
namespace {

class CLockFileMutex : public INamedMutex {
 public:
  explicit CLockFileMutex(int fd) : m_Fd(fd) {}
  ~CLockFileMutex() override { close(m_Fd); }
  CLockFileMutex(const CLockFileMutex&) = delete;
  CLockFileMutex& operator=(const CLockFileMutex&) = delete;

 private:
  int m_Fd;
};

// Leading number of `s` from `*pos` on, capped at 99; moves past it and one
// following '.'.
uint32_t VersionPart(const std::string& s, size_t* pos) {
  uint32_t v = 0;
  while (*pos < s.size() && s[*pos] >= '0' && s[*pos] <= '9') {
    if (v < 100) v = v * 10 + static_cast<uint32_t>(s[*pos] - '0');
    ++*pos;
  }
  if (*pos < s.size() && s[*pos] == '.') ++*pos;
  return v > 99 ? 99 : v;
}

}  // namespace

OsVersion CLinuxSystem::GetOsVersion() {
  OsVersion v;
  v.MajorVersion = 10;
  v.MinorVersion = 0;
  utsname u{};
  if (uname(&u) == 0) {
    std::string release = u.release;
    size_t pos = 0;
    uint32_t major = VersionPart(release, &pos);
    uint32_t minor = VersionPart(release, &pos);
    uint32_t patch = VersionPart(release, &pos);
    v.BuildNumber = major * 10000 + minor * 100 + patch;
    v.CSDVersion = std::string(u.sysname) + " " + release;
  }
  return v;
}

uint16_t CLinuxSystem::NativeArchitecture() {
  utsname u{};
  return uname(&u) == 0 ? ArchitectureOfMachine(u.machine) : PROCESSOR_ARCH_UNKNOWN;
}

std::string CLinuxSystem::CpuBrandString() {
  const auto packages = ReadCpuPackages(m_Roots.Proc);
  return packages.empty() ? std::string() : packages.front().Name;
}

uint64_t CLinuxSystem::TotalPhysicalMemory() { return ReadMemTotalBytes(m_Roots.Proc); }

bool CLinuxSystem::GetNetworkAdapters(std::vector<NetworkAdapter>* adapters) {
  adapters->clear();
  std::error_code ec;
  if (!std::filesystem::is_directory(m_Roots.Sys + "/class/net", ec)) return false;
  // Adapters of real devices first: virtual ones (bridges, containers'
  // links, ifb) often get a new random address at every start, and the
  // first address names the history root.
  const auto interfaces = ListNetInterfaces(m_Roots);
  for (bool physical : {true, false}) {
    for (const LinuxNetInterface& i : interfaces) {
      if (i.Physical == physical) adapters->push_back({i.Description, i.Address});
    }
  }
  return true;
}

std::string CLinuxSystem::MutexLockPath(const std::string& name) {
  // Built by appending only: gcc 12 at -O3 reports a false overlap
  // (-Wrestrict) in the inlined insert of `"/tmp/" + safe`.
  std::string path;
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  const bool inRuntime = runtime && runtime[0] == '/';
  path.append(inRuntime ? runtime : "/tmp").push_back('/');
  // No empty name and no hidden file: a leading '_' then.
  if (name.empty() || name[0] == '.') path.push_back('_');
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '_' || c == '.';
    path.push_back(ok ? c : '_');
  }
  if (!inRuntime) path.append("-").append(std::to_string(getuid()));
  return path.append(".lock");
}

std::unique_ptr<INamedMutex> CLinuxSystem::CreateNamedMutex(const std::string& name,
                                                            bool* alreadyExisted) {
  if (alreadyExisted) *alreadyExisted = false;
  std::string path = MutexLockPath(name);
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  // In a shared folder someone else may have made the file first; a lock
  // we do not own could be held against us forever.
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
    close(fd);
    return nullptr;
  }
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) {
      if (alreadyExisted) *alreadyExisted = true;
      break;
    }
    close(fd);
    return nullptr;
  }
  return std::make_unique<CLockFileMutex>(fd);
}

bool CLinuxSystem::StartProcess(const std::string& path, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
  std::thread([pid]() {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

void CLinuxSystem::ShowMessage(const std::string& text, const std::string& caption) {
  std::string body = text;
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
  if (caption.empty()) {
    std::fprintf(stderr, "%s\n", body.c_str());
  } else {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), body.c_str());
  }
  std::fflush(stderr);
}

}  // namespace os
