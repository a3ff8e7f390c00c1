// Files and folders. Paths are UTF-8 in the platform's own notation.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace os {

// A file opened for reading at any offset, for readers that look at a few
// places of a large file instead of loading all of it. The handle is closed
// when the object is destroyed.
class IReadableFile {
 public:
  virtual ~IReadableFile() = default;
  // Size in bytes when it was opened.
  virtual uint64_t Size() const = 0;
  // Reads up to `count` bytes at `offset` into `buffer`. Returns the number
  // read: less than `count` only at the end of the file (0 at or past it);
  // nullopt when the system refused the read.
  virtual std::optional<size_t> ReadAt(uint64_t offset, uint8_t* buffer, size_t count) = 0;
};

// IReadableFile over bytes in memory (for file systems without a real
// file behind them, and for tests).
class CMemoryReadableFile : public IReadableFile {
 public:
  explicit CMemoryReadableFile(std::vector<uint8_t> data) : m_Data(std::move(data)) {}
  uint64_t Size() const override { return m_Data.size(); }
  std::optional<size_t> ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override {
    if (offset >= m_Data.size()) return 0;
    const size_t n = std::min<uint64_t>(count, m_Data.size() - offset);
    if (n > 0) std::memcpy(buffer, m_Data.data() + offset, n);
    return n;
  }

 private:
  std::vector<uint8_t> m_Data;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  virtual std::optional<std::vector<uint8_t>> ReadFile(const std::string& path) = 0;
  // Opens a regular file for reading at any offset; null when it is missing,
  // not a regular file or cannot be opened. Writers may append meanwhile;
  // the reader sees the size the file had when it was opened.
  virtual std::unique_ptr<IReadableFile> OpenForReading(const std::string& path) {
    auto data = ReadFile(path);
    if (!data) return nullptr;
    return std::make_unique<CMemoryReadableFile>(std::move(*data));
  }
  // Size in bytes of a regular file; nullopt when it is missing or not a
  // regular file. Lets readers refuse a huge file before loading it.
  virtual std::optional<uint64_t> FileSize(const std::string& path) {
    auto data = ReadFile(path);
    if (!data) return std::nullopt;
    return data->size();
  }
  // Writes the whole file atomically: a temporary file beside it, flushed,
  // then renamed over the old one. Returns false on any failure; the old
  // file is then untouched.
  // The last `count` bytes of a file (all of it when shorter), read without
  // loading the rest; nullopt when it cannot be read.
  virtual std::optional<std::vector<uint8_t>> ReadFileTail(const std::string& path,
                                                           uint64_t count) {
    auto data = ReadFile(path);
    if (!data) return std::nullopt;
    if (data->size() > count) data->erase(data->begin(), data->end() - static_cast<long>(count));
    return data;
  }
  // The entries of a folder ("." and ".." left out); nullopt when it cannot
  // be listed. A link (symbolic link, junction) is listed as a file, never
  // as a folder, so a walk over the tree never leaves it.
  struct FolderEntry {
    std::string Name;
    bool IsFolder = false;
  };
  virtual std::optional<std::vector<FolderEntry>> ListFolder(const std::string& /*path*/) {
    return std::nullopt;
  }
  virtual bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data) = 0;
  // Appends to a file, creating it if missing.
  virtual bool AppendFile(const std::string& path, const std::string& data) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // Removes a file, a link (not what it points to) or an empty folder.
  virtual bool Remove(const std::string& path) = 0;
  virtual bool CreateDirectories(const std::string& path) = 0;
  // Makes a file readable and writable by its owner only (mode 0600),
  // creating it empty when missing, before a secret is written to it; a
  // rewrite through WriteFileAtomic keeps that mode. False when it could not
  // be done; true where the system has no such notion.
  virtual bool MakePrivate(const std::string& /*path*/) { return true; }
  // Full path of the running executable.
  virtual std::string ExecutablePath() = 0;
  // The platform's path separator ('\\' on Windows, '/' elsewhere).
  virtual char Separator() = 0;
  // Text of the last system error, for log lines.
  virtual std::string LastErrorText() = 0;
  // The file through which the program hands its folder to helpers that
  // start from another folder: "c:\\m.out" on Windows, a file private to
  // the user on other systems (a fixed path in a shared folder could be
  // planted by another user).
  virtual std::string HandOffFilePath() = 0;
};

}  // namespace os
