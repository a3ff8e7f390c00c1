#include <fcntl.h>
#include <spawn.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "os/BenchFiles.h"

extern char** environ;

namespace os {
namespace {

class CDirectFile : public IUncachedFile {
 public:
  explicit CDirectFile(int fd) : m_Fd(fd) {}
  ~CDirectFile() override {
    std::free(m_Bounce);
    close(m_Fd);
  }
  CDirectFile(const CDirectFile&) = delete;
  CDirectFile& operator=(const CDirectFile&) = delete;

  bool Write(std::span<const uint8_t> data) override {
    // O_DIRECT wants an aligned buffer; the caller's may not be.
    if (m_BounceSize < data.size()) {
      std::free(m_Bounce);
      m_Bounce =
          static_cast<uint8_t*>(std::aligned_alloc(4096, (data.size() + 4095) & ~size_t{4095}));
      m_BounceSize = m_Bounce ? data.size() : 0;
      if (!m_Bounce) return false;
    }
    std::memcpy(m_Bounce, data.data(), data.size());
    size_t done = 0;
    while (done < data.size()) {
      ssize_t n = write(m_Fd, m_Bounce + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

 private:
  int m_Fd;
  uint8_t* m_Bounce = nullptr;
  size_t m_BounceSize = 0;
};

}  // namespace

std::unique_ptr<IUncachedFile> CreateUncachedFile(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_DIRECT, 0600);
  // A file system without direct I/O (tmpfs) still gets a test file.
  if (fd < 0 && errno == EINVAL)
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  return std::make_unique<CDirectFile>(fd);
}

bool FreeDiskBytes(const std::string& folder, uint64_t* bytes) {
  struct statvfs st {};
  if (statvfs(folder.c_str(), &st) != 0) return false;
  *bytes = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
  return true;
}

std::string LoadGeneratorPath() {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "stavrion-load";
  std::string path(exe, static_cast<size_t>(n));
  return path.substr(0, path.find_last_of('/') + 1) + "stavrion-load";
}

ProgramRun RunProgramAndWait(const std::string& path, const std::vector<std::string>& arguments) {
  ProgramRun run;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  std::vector<std::string> words;
  words.push_back(path);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return run;
  }
  char buf[4096];
  for (;;) {
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (run.Output.size() < 65536) run.Output.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  // A program that could not be executed ends with 127 before printing anything.
  run.Started = !(WIFEXITED(status) && WEXITSTATUS(status) == 127 && run.Output.empty());
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace os
