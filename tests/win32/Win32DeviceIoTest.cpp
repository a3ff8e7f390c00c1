// Devices through the real calls. Under Wine disks answer no requests, so
// these check what holds everywhere: failures carry their error code, and a
// handle moves bytes.
#include <gtest/gtest.h>

#include "os/win32/Win32DeviceIo.h"
#include "os/wire/WinIoctl.h"
#include "tests/support/TempDir.h"

namespace {

TEST(Win32DeviceIo, MissingDeviceGivesAnErrorCode) {
  os::CWin32DeviceIo devices;
  uint32_t error = 0;
  EXPECT_EQ(devices.Open("\\\\.\\PhysicalDrive97", os::Access::ReadWrite, &error), nullptr);
  EXPECT_NE(error, os::ERR_SUCCESS);
  error = 0;
  EXPECT_EQ(devices.Open("\\\\.\\Scsi63:", os::Access::ReadWrite, &error), nullptr);
  EXPECT_NE(error, os::ERR_SUCCESS);
}

TEST(Win32DeviceIo, NamesThatCannotBeOpenedAreRefused) {
  os::CWin32DeviceIo devices;
  uint32_t error = 0;
  EXPECT_EQ(devices.Open("", os::Access::Read, &error), nullptr);
  EXPECT_EQ(error, os::ERR_INVALID_PARAMETER);
  EXPECT_EQ(devices.Open(std::string("\\\\.\\C:\0x", 8), os::Access::Read, &error), nullptr);
  EXPECT_EQ(error, os::ERR_INVALID_PARAMETER);
  EXPECT_FALSE(devices.DefineRawDosDevice(std::string("a\0b", 3), "\\Device\\Null"));
}

TEST(Win32DeviceIo, OpenHandleReadsFromTheStartAndRefusesForeignControlCodes) {
  testutil::CTempDir dir;
  std::string path = dir.File("sector.bin");
  std::string sector(512, '\0');
  for (size_t i = 0; i < sector.size(); ++i) sector[i] = static_cast<char>(i * 7);
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(sector.data(), 1, sector.size(), f);
    std::fclose(f);
  }
  os::CWin32DeviceIo devices;
  uint32_t error = 1;
  auto handle = devices.Open(path, os::Access::Read, &error);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(error, os::ERR_SUCCESS);
  std::string got(512, 'x');
  uint32_t read = 0;
  ASSERT_TRUE(handle->Read(got.data(), 512, &read));
  EXPECT_EQ(read, 512u);
  EXPECT_EQ(got, sector);

  // A file is no disk: the S.M.A.R.T. request fails with a code and
  // reports no bytes.
  uint8_t buffer[528] = {};
  uint32_t returned = 99;
  EXPECT_FALSE(handle->Control(winio::CTL_SMART_RCV_DRIVE_DATA, buffer, 33, buffer, sizeof buffer,
                               &returned, &error));
  EXPECT_EQ(returned, 0u);
  EXPECT_NE(error, os::ERR_SUCCESS);
}

}  // namespace
