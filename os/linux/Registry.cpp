#include "os/Registry.h"
#include "os/FileTreeRegistry.h"

namespace os {

std::unique_ptr<IRegistry> CreateNativeRegistry(const std::string& treeRoot) {
  return std::make_unique<CFileTreeRegistry>(treeRoot);
}

}  // namespace os
