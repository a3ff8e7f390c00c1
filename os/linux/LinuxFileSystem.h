// os::IFileSystem on POSIX.
#pragma once

#include "os/FileSystem.h"

namespace os {

class CLinuxFileSystem : public IFileSystem {
 public:
  std::optional<std::vector<uint8_t>> ReadFile(const std::string& path) override;
  std::optional<std::vector<uint8_t>> ReadFileTail(const std::string& path,
                                                   uint64_t count) override;
  // open + fstat; each ReadAt is a pread.
  std::unique_ptr<IReadableFile> OpenForReading(const std::string& path) override;
  std::optional<std::vector<FolderEntry>> ListFolder(const std::string& path) override;
  std::optional<uint64_t> FileSize(const std::string& path) override;
  // Temporary file in the same folder (same owner and mode as the file it
  // replaces), fsync, rename over the target, fsync of the folder. A target
  // that is a symbolic link is followed: the file it names is replaced and
  // the link stays.
  bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data) override;
  bool AppendFile(const std::string& path, const std::string& data) override;
  bool Exists(const std::string& path) override;
  bool Remove(const std::string& path) override;
  bool CreateDirectories(const std::string& path) override;
  // chmod 0600 of the file (a link is followed), created empty when missing.
  bool MakePrivate(const std::string& path) override;
  std::string ExecutablePath() override;
  char Separator() override { return '/'; }
  std::string LastErrorText() override;
  // $XDG_RUNTIME_DIR/stavrion-m.out, or stavrion-m.out in the user's cache
  // folder ($XDG_CACHE_HOME, else ~/.cache) when there is no runtime folder;
  // empty when none of them is known.
  std::string HandOffFilePath() override;
};

}  // namespace os
