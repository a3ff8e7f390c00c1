#include "os/wire/WinIoctl.h"

#include <gtest/gtest.h>

#include <array>

TEST(WinIoctl, LittleEndianHelpersRoundTrip) {
  std::array<uint8_t, 8> b{};
  winio::Store16(b.data(), 0x1234);
  EXPECT_EQ(b[0], 0x34);
  EXPECT_EQ(b[1], 0x12);
  EXPECT_EQ(winio::Load16(b.data()), 0x1234);
  winio::Store32(b.data(), 0xA1B2C3D4u);
  EXPECT_EQ(b[0], 0xD4);
  EXPECT_EQ(b[3], 0xA1);
  EXPECT_EQ(winio::Load32(b.data()), 0xA1B2C3D4u);
  winio::Store64(b.data(), 0x0102030405060708ull);
  EXPECT_EQ(b[0], 0x08);
  EXPECT_EQ(b[7], 0x01);
  EXPECT_EQ(winio::Load64(b.data()), 0x0102030405060708ull);
  b.fill(0xFF);
  winio::StoreUintPtr(b.data(), 44, 4);
  EXPECT_EQ(winio::LoadUintPtr(b.data(), 8), 0xFFFFFFFF0000002Cull);  // only 4 bytes written
  EXPECT_EQ(winio::LoadUintPtr(b.data(), 4), 44u);
}

TEST(WinIoctl, FitsRejectsOverflowingRanges) {
  EXPECT_TRUE(winio::Fits(512, 0, 512));
  EXPECT_TRUE(winio::Fits(512, 512, 0));
  EXPECT_FALSE(winio::Fits(512, 1, 512));
  EXPECT_FALSE(winio::Fits(512, 513, 0));
  EXPECT_FALSE(winio::Fits(16, 8, SIZE_MAX));
}

TEST(WinIoctl, PassThroughFormIsChosenByLength) {
  EXPECT_EQ(winio::AtaPassThroughLayoutFor(40), &winio::APT_LAYOUT_32);
  EXPECT_EQ(winio::AtaPassThroughLayoutFor(48), &winio::APT_LAYOUT_64);
  EXPECT_EQ(winio::AtaPassThroughLayoutFor(44), nullptr);
  EXPECT_EQ(winio::APT_LAYOUT_32.DataAt(), 44u);
  EXPECT_EQ(winio::APT_LAYOUT_64.DataAt(), 52u);
  EXPECT_EQ(winio::ScsiPassThroughLayoutFor(44), &winio::SPT_LAYOUT_32);
  EXPECT_EQ(winio::ScsiPassThroughLayoutFor(56), &winio::SPT_LAYOUT_64);
  EXPECT_EQ(winio::ScsiPassThroughLayoutFor(48), nullptr);
  EXPECT_EQ(winio::APT_LAYOUT.HeaderSize, sizeof(winio::ATA_PASS_THROUGH_EX));
}

#include "os/wire/DeviceNames.h"

// Every backend parses the names the engine builds: a name must come back as
// the number it was built from, and near misses must not open some device.
TEST(DeviceNames, ParsersReadWhatTheBuildersWriteAndNothingElse) {
  for (int32_t n : {0, 7, 99, 255, 999}) {
    EXPECT_EQ(winio::PhysicalDriveNumber(winio::PhysicalDriveName(n)), n);
    EXPECT_EQ(winio::ScsiPortNumber(winio::ScsiPortName(n)), n);
  }
  EXPECT_EQ(winio::PhysicalDriveName(3), "\\\\.\\PhysicalDrive3");
  EXPECT_EQ(winio::ScsiPortName(12), "\\\\.\\Scsi12:");
  EXPECT_EQ(winio::VolumeName('D'), "\\\\.\\D:");
  EXPECT_EQ(winio::VolumeLetter(winio::VolumeName('D')), 'D');

  struct Case {
    const char* Name;
    int32_t Drive;
    int32_t Port;
    char Letter;
  };
  const Case cases[] = {
      {"\\\\.\\PHYSICALDRIVE12", 12, -1, 0},  // the system ignores case
      {"\\\\.\\physicaldrive0", 0, -1, 0},
      {"\\\\.\\PhysicalDrive", -1, -1, 0},      // no number
      {"\\\\.\\PhysicalDrive1000", -1, -1, 0},  // four digits
      {"\\\\.\\PhysicalDrive-1", -1, -1, 0},
      {"\\\\.\\PhysicalDrive1 ", -1, -1, 0},
      {"\\\\?\\PhysicalDrive1", -1, -1, 0},  // another prefix
      {"PhysicalDrive1", -1, -1, 0},
      {"\\\\.\\scsi2:", -1, 2, 0},
      {"\\\\.\\Scsi2", -1, -1, 0},  // no colon
      {"\\\\.\\Scsi:", -1, -1, 0},
      {"\\\\.\\Scsi2:x", -1, -1, 0},
      {"\\\\.\\c:", -1, -1, 'C'},
      {"\\\\.\\1:", -1, -1, 0},
      {"\\\\.\\CC:", -1, -1, 0},
      {"\\\\.\\C", -1, -1, 0},
      {"", -1, -1, 0},
      {"\\\\.\\", -1, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(winio::PhysicalDriveNumber(c.Name), c.Drive);
    EXPECT_EQ(winio::ScsiPortNumber(c.Name), c.Port);
    EXPECT_EQ(winio::VolumeLetter(c.Name), c.Letter);
  }
}
