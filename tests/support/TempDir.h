// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

namespace testutil {

class CTempDir {
 public:
  CTempDir() {
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
      m_Path = std::filesystem::temp_directory_path() /
               ("stavrion-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
      std::error_code ec;
      if (std::filesystem::create_directory(m_Path, ec)) break;
    }
  }
  ~CTempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_Path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_Path, ec);
  }
  CTempDir(const CTempDir&) = delete;
  CTempDir& operator=(const CTempDir&) = delete;

  const std::filesystem::path& Path() const { return m_Path; }
  // A path inside the folder, in the platform's notation.
  std::string File(const std::string& name) const { return (m_Path / name).string(); }

 private:
  std::filesystem::path m_Path;
};

}  // namespace testutil
