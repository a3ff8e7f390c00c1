#include "engine/WinIoctl.h"

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
