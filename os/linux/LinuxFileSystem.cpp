#include "os/linux/LinuxFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace os {
namespace {

thread_local int t_LastError = 0;

bool Fail() {
  t_LastError = errno;
  return false;
}

bool WriteAll(int fd, const uint8_t* p, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

class CLinuxReadableFile : public IReadableFile {
 public:
  CLinuxReadableFile(int fd, uint64_t size) : m_Fd(fd), m_Size(size) {}
  ~CLinuxReadableFile() override { close(m_Fd); }
  CLinuxReadableFile(const CLinuxReadableFile&) = delete;
  CLinuxReadableFile& operator=(const CLinuxReadableFile&) = delete;

  uint64_t Size() const override { return m_Size; }
  std::optional<size_t> ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override {
    size_t done = 0;
    while (done < count) {
      ssize_t n = pread(m_Fd, buffer + done, count - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        Fail();
        return std::nullopt;
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return done;
  }

 private:
  int m_Fd;
  uint64_t m_Size;
};

std::string AbsoluteEnv(const char* name) {
  const char* v = getenv(name);
  if (!v || v[0] != '/') return {};
  return v;
}

}  // namespace

std::optional<std::vector<uint8_t>> CLinuxFileSystem::ReadFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    Fail();
    return std::nullopt;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) errno = EISDIR;
    Fail();
    close(fd);
    return std::nullopt;
  }
  std::vector<uint8_t> data;
  if (S_ISREG(st.st_mode) && st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
  uint8_t chunk[65536];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail();
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.insert(data.end(), chunk, chunk + n);
  }
  close(fd);
  return data;
}

std::unique_ptr<IReadableFile> CLinuxFileSystem::OpenForReading(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    Fail();
    return nullptr;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (!S_ISREG(st.st_mode)) errno = EISDIR;
    Fail();
    close(fd);
    return nullptr;
  }
  return std::make_unique<CLinuxReadableFile>(fd, static_cast<uint64_t>(st.st_size));
}

std::optional<std::vector<uint8_t>> CLinuxFileSystem::ReadFileTail(const std::string& path,
                                                                   uint64_t count) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    Fail();
    return std::nullopt;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (!S_ISREG(st.st_mode)) errno = EISDIR;
    Fail();
    close(fd);
    return std::nullopt;
  }
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  const uint64_t want = count < size ? count : size;
  std::vector<uint8_t> data(static_cast<size_t>(want));
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n =
        pread(fd, data.data() + done, data.size() - done, static_cast<off_t>(size - want + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the file shrank meanwhile: what was read is the tail
    done += static_cast<size_t>(n);
  }
  close(fd);
  data.resize(done);
  return data;
}

std::optional<std::vector<IFileSystem::FolderEntry>> CLinuxFileSystem::ListFolder(
    const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    Fail();
    return std::nullopt;
  }
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    Fail();
    close(fd);
    return std::nullopt;
  }
  std::vector<FolderEntry> entries;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    // lstat: a link is an entry of its own, whatever it points to.
    bool folder = fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    entries.push_back({std::move(name), folder});
  }
  closedir(dir);
  return entries;
}

std::optional<uint64_t> CLinuxFileSystem::FileSize(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    Fail();
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

bool CLinuxFileSystem::WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data) {
  if (path.empty()) {
    errno = ENOENT;
    return Fail();
  }
  std::string target = path;
  struct stat st {};
  bool exists = false;
  if (lstat(path.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      char resolved[PATH_MAX];
      if (!realpath(path.c_str(), resolved)) return Fail();
      target = resolved;
      if (stat(target.c_str(), &st) != 0) return Fail();
    }
    if (!S_ISREG(st.st_mode)) {
      errno = EISDIR;
      return Fail();
    }
    exists = true;
  }
  size_t slash = target.rfind('/');
  std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));

  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    // Not derived from the file's own name, which may already be as long
    // as a name can be.
    temp = folder + "/.stavrion-" + std::to_string(getpid()) + "-" + std::to_string(counter++) +
           ".tmp";
    // New files get 0666 less the umask, like any file the user creates.
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno != EEXIST) return Fail();
  }
  if (fd < 0) return Fail();

  bool ok = true;
  if (exists) {
    // Keep the mode of the file we replace (a settings file holding a mail
    // password may have been made private); owner only where we may.
    ok = fchmod(fd, st.st_mode & 07777) == 0;
    if (ok && st.st_uid != geteuid() && fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Not ours to give away; the new file stays the writer's.
    }
  }
  ok = ok && WriteAll(fd, data.data(), data.size()) && fsync(fd) == 0;
  if (!ok) Fail();
  if (close(fd) != 0 && ok) ok = Fail();
  if (ok && rename(temp.c_str(), target.c_str()) != 0) ok = Fail();
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);  // the rename is done; a folder that cannot be synced is not a failure
    close(dir);
  }
  return true;
}

bool CLinuxFileSystem::MakePrivate(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return Fail();
  }
  // O_RDONLY with O_CREAT: an existing file is neither truncated nor needs
  // to be writable to be opened.
  int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd < 0) return Fail();
  struct stat st {};
  bool ok = fstat(fd, &st) == 0;
  if (ok && !S_ISREG(st.st_mode)) {
    errno = EISDIR;
    ok = false;
  }
  ok = ok && ((st.st_mode & 07777) == 0600 || fchmod(fd, 0600) == 0);
  if (!ok) Fail();
  close(fd);
  return ok;
}

bool CLinuxFileSystem::AppendFile(const std::string& path, const std::string& data) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return Fail();
  bool ok = WriteAll(fd, reinterpret_cast<const uint8_t*>(data.data()), data.size());
  if (!ok) Fail();
  if (close(fd) != 0 && ok) ok = Fail();
  return ok;
}

bool CLinuxFileSystem::Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

bool CLinuxFileSystem::Remove(const std::string& path) {
  if (unlink(path.c_str()) == 0) return true;
  if (errno == EISDIR && rmdir(path.c_str()) == 0) return true;
  return Fail();
}

bool CLinuxFileSystem::CreateDirectories(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) {
    t_LastError = ec.value();
    return false;
  }
  return std::filesystem::is_directory(path, ec);
}

std::string CLinuxFileSystem::ExecutablePath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) {
    Fail();
    return {};
  }
  return std::string(buf, static_cast<size_t>(n));
}

std::string CLinuxFileSystem::LastErrorText() {
  return std::generic_category().message(t_LastError);
}

std::string CLinuxFileSystem::HandOffFilePath() {
  std::string dir = AbsoluteEnv("XDG_RUNTIME_DIR");
  if (dir.empty()) dir = AbsoluteEnv("XDG_CACHE_HOME");
  if (dir.empty()) {
    std::string home = AbsoluteEnv("HOME");
    if (!home.empty()) dir = home + "/.cache";
  }
  if (dir.empty()) return {};
  return dir + "/stavrion-m.out";
}

}  // namespace os
