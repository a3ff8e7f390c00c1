// os::IFileSystem over the C++ standard library, for portable tests that
// need real files but not a whole platform. Not a fake: it reads and writes
// the files it is given.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "os/FileSystem.h"

namespace testutil {

class CStdFileSystem : public os::IFileSystem {
 public:
  // `exePath` and `handOff` are what ExecutablePath and HandOffFilePath
  // answer.
  explicit CStdFileSystem(std::string exePath = {}, std::string handOff = {})
      : m_ExePath(std::move(exePath)), m_HandOff(std::move(handOff)) {}

  std::optional<std::vector<uint8_t>> ReadFile(const std::string& path) override {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
  }
  std::optional<uint64_t> FileSize(const std::string& path) override {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    uint64_t size = std::filesystem::file_size(path, ec);
    if (ec) return std::nullopt;
    return size;
  }
  std::optional<std::vector<uint8_t>> ReadFileTail(const std::string& path,
                                                   uint64_t count) override {
    std::optional<uint64_t> size = FileSize(path);
    if (!size) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    const uint64_t want = count < *size ? count : *size;
    in.seekg(static_cast<std::streamoff>(*size - want));
    std::vector<uint8_t> data(static_cast<size_t>(want));
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(want));
    data.resize(static_cast<size_t>(in.gcount()));
    return data;
  }
  std::optional<std::vector<FolderEntry>> ListFolder(const std::string& path) override {
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) return std::nullopt;
    std::filesystem::directory_iterator it(path, ec);
    if (ec) return std::nullopt;
    std::vector<FolderEntry> entries;
    for (const auto& e : it) {
      entries.push_back(
          {e.path().filename().string(), std::filesystem::is_directory(e.symlink_status(ec))});
    }
    return entries;
  }
  bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data) override {
    std::string temp = path + ".tmp";
    {
      std::ofstream out(temp, std::ios::binary | std::ios::trunc);
      if (!out) return Fail();
      out.write(reinterpret_cast<const char*>(data.data()),
                static_cast<std::streamsize>(data.size()));
      if (!out.flush()) return Fail();
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
      std::filesystem::remove(temp, ec);
      return Fail();
    }
    return true;
  }
  bool AppendFile(const std::string& path, const std::string& data) override {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    if (!out) return Fail();
    out << data;
    return out.flush() ? true : Fail();
  }
  bool Exists(const std::string& path) override {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
  }
  bool Remove(const std::string& path) override {
    std::error_code ec;
    return std::filesystem::remove(path, ec);
  }
  bool CreateDirectories(const std::string& path) override {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
  }
  std::string ExecutablePath() override { return m_ExePath; }
  char Separator() override {
    return static_cast<char>(std::filesystem::path::preferred_separator);
  }
  std::string LastErrorText() override { return m_LastError; }
  std::string HandOffFilePath() override { return m_HandOff; }

 private:
  bool Fail() {
    m_LastError = "write failed";
    return false;
  }

  std::string m_ExePath;
  std::string m_HandOff;
  std::string m_LastError;
};

}  // namespace testutil
