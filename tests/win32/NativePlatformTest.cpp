#include <gtest/gtest.h>

#include "os/NativePlatform.h"

namespace {

// The Windows platform hands out the Windows backends, every facility
// present.
TEST(Win32NativePlatform, EveryFacilityIsTheRealOne) {
  os::NativePlatform native;
  os::Platform platform = native.Get();
  EXPECT_EQ(platform.Files.Separator(), '\\');
  EXPECT_GE(platform.System.GetOsVersion().MajorVersion, 6u);
  EXPECT_GT(platform.Clock.TickCount(), 0u);
  ASSERT_NE(platform.Services, nullptr);
  ASSERT_NE(platform.Volumes, nullptr);
  EXPECT_EQ(platform.Volumes->DriveTypeOf('C'), os::DriveType::Fixed);
  uint32_t error = 0;
  EXPECT_EQ(platform.Devices.Open("\\\\.\\PhysicalDrive96", os::Access::Read, &error), nullptr);
  EXPECT_NE(error, 0u);
}

}  // namespace
