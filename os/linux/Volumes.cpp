// Linux has no drive letters: every root answers "no root directory", so
// discovery maps none and the disks keep their device nodes instead.
#include "os/Volumes.h"

namespace os {
namespace {

class CLinuxVolumes final : public IVolumes {
 public:
  DriveType DriveTypeOf(char) override { return DriveType::NoRootDir; }
  std::optional<VolumeInfo> InfoOf(char) override { return std::nullopt; }
};

}  // namespace

std::unique_ptr<IVolumes> CreateNativeVolumes() { return std::make_unique<CLinuxVolumes>(); }

}  // namespace os
