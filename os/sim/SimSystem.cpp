#include "os/sim/SimSystem.h"

namespace os::sim {
namespace {

class CSimMutex : public INamedMutex {
 public:
  CSimMutex(std::shared_ptr<std::set<std::string>> names, std::string name)
      : m_Names(std::move(names)), m_Name(std::move(name)) {}
  ~CSimMutex() override { m_Names->erase(m_Name); }

 private:
  std::shared_ptr<std::set<std::string>> m_Names;
  std::string m_Name;
};

}  // namespace

std::unique_ptr<INamedMutex> CSimSystem::CreateNamedMutex(const std::string& name,
                                                          bool* alreadyExisted) {
  bool existed = !m_Mutexes->insert(name).second;
  if (alreadyExisted) *alreadyExisted = existed;
  // A second handle to an existing mutex does not own the name.
  if (existed) return std::make_unique<CSimMutex>(std::make_shared<std::set<std::string>>(), name);
  return std::make_unique<CSimMutex>(m_Mutexes, name);
}

bool CSimSystem::StartProcess(const std::string& path, const std::vector<std::string>& args) {
  m_Started.push_back({path, args});
  return m_StartResult;
}

bool CSimSystem::GetNetworkAdapters(std::vector<NetworkAdapter>* adapters) {
  adapters->clear();
  if (m_AdaptersFail) return false;
  *adapters = m_Adapters;
  return true;
}

void CSimSystem::ShowMessage(const std::string& text, const std::string& caption) {
  m_Messages.push_back(caption + ": " + text);
}

}  // namespace os::sim
