// Process facilities of a simulated machine: the OS version its manifest
// names, named mutexes within this process, and recorded (never started)
// programs and messages.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "os/System.h"

namespace os::sim {

struct SimProcessStart {
  std::string Path;
  std::vector<std::string> Args;
};

class CSimSystem : public ISystem {
 public:
  explicit CSimSystem(OsVersion version) : m_Version(std::move(version)) {}

  OsVersion GetOsVersion() override { return m_Version; }
  std::unique_ptr<INamedMutex> CreateNamedMutex(const std::string& name,
                                                bool* alreadyExisted) override;
  bool StartProcess(const std::string& path, const std::vector<std::string>& args) override;
  void ShowMessage(const std::string& text, const std::string& caption) override;

  void SetOsVersion(const OsVersion& v) { m_Version = v; }
  // What StartProcess answers (true unless set otherwise).
  void SetStartProcessResult(bool ok) { m_StartResult = ok; }
  const std::vector<SimProcessStart>& Started() const { return m_Started; }
  const std::vector<std::string>& Messages() const { return m_Messages; }

 private:
  OsVersion m_Version;
  bool m_StartResult = true;
  std::shared_ptr<std::set<std::string>> m_Mutexes = std::make_shared<std::set<std::string>>();
  std::vector<SimProcessStart> m_Started;
  std::vector<std::string> m_Messages;
};

}  // namespace os::sim
