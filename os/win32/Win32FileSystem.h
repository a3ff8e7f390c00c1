// os::IFileSystem on Windows.
#pragma once

#include "os/FileSystem.h"

namespace os {

class CWin32FileSystem : public IFileSystem {
 public:
  std::optional<std::vector<uint8_t>> ReadFile(const std::string& path) override;
  std::optional<uint64_t> FileSize(const std::string& path) override;
  std::optional<std::vector<uint8_t>> ReadFileTail(const std::string& path,
                                                   uint64_t count) override;
  // CreateFileW sharing read, write and delete (the history log may append
  // meanwhile); each ReadAt is a ReadFile at an explicit offset.
  std::unique_ptr<IReadableFile> OpenForReading(const std::string& path) override;
  // FindFirstFileW/FindNextFileW; a folder that is a reparse point
  // (junction, symbolic link) is listed as a file.
  std::optional<std::vector<FolderEntry>> ListFolder(const std::string& path) override;
  // A new temporary file beside the target, written, flushed to the disk,
  // then moved over the target with MoveFileExW(MOVEFILE_REPLACE_EXISTING |
  // MOVEFILE_WRITE_THROUGH). On any failure the temporary file is deleted
  // and the target is as it was.
  bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data) override;
  // The bytes as they are (no line-end translation), at the end of the file.
  bool AppendFile(const std::string& path, const std::string& data) override;
  bool Exists(const std::string& path) override;
  // A file, or an empty folder (a junction itself, not its target).
  bool Remove(const std::string& path) override;
  // Every missing folder of the path; true when the folder exists after.
  bool CreateDirectories(const std::string& path) override;
  // GetModuleFileNameW of the program, however long.
  std::string ExecutablePath() override;
  char Separator() override { return '\\'; }
  // FormatMessageW text of the error of this thread's last failed call
  // above, without the trailing line break.
  std::string LastErrorText() override;
  // "c:\\m.out".
  std::string HandOffFilePath() override;
};

}  // namespace os
