// The strict device fake, and engine requests pinned down with it: the exact
// storage-query conversation an NVMe disk sees, nothing more.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/AtaSmart.h"
#include "os/wire/DeviceNames.h"
#include "os/wire/DiskPages.h"
#include "os/wire/WinIoctlPaths.h"
#include "tests/support/FamilyTestSupport.h"
#include "tests/support/StrictDevices.h"

// Script lines name only the fields a case cares about.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using testutil::CStrictDevices;
using testutil::Exchange;

namespace {

const std::string DRIVE0 = winio::PhysicalDriveName(0);
const std::string DRIVE1 = winio::PhysicalDriveName(1);

// Each kind of misuse fails the test; a script used as written does not.
TEST(StrictDevices, EveryDepartureFromTheScriptFails) {
  uint8_t out[8] = {};
  uint32_t returned = 0;
  uint32_t error = 0;
  auto openUnknown = [&] {
    CStrictDevices devices({DRIVE0}, {});
    EXPECT_EQ(devices.Open(DRIVE1, os::Access::ReadWrite, &error), nullptr);
    EXPECT_EQ(error, os::ERR_FILE_NOT_FOUND);
  };
  EXPECT_NONFATAL_FAILURE(openUnknown(), "unexpected open of \\\\.\\PhysicalDrive1");
  auto leaveUnused = [&] {
    CStrictDevices devices({DRIVE0}, {{DRIVE0, winio::CTL_SCSI_GET_ADDRESS}});
  };
  EXPECT_NONFATAL_FAILURE(leaveUnused(), "unused script line 0");
  auto wrongRequest = [&] {
    CStrictDevices devices({DRIVE0}, {{DRIVE0, winio::CTL_SCSI_GET_ADDRESS}});
    auto h = devices.Open(DRIVE0, os::Access::ReadWrite, &error);
    EXPECT_FALSE(
        h->Control(winio::CTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, out, 8, &returned, &error));
  };
  EXPECT_NONFATAL_FAILURE(wrongRequest(), "script line 0 expects");
  auto pastTheEnd = [&] {
    CStrictDevices devices({DRIVE0}, {});
    auto h = devices.Open(DRIVE0, os::Access::ReadWrite, &error);
    h->Control(winio::CTL_SCSI_GET_ADDRESS, nullptr, 0, out, 8, &returned, &error);
  };
  EXPECT_NONFATAL_FAILURE(pastTheEnd(), "after the script ended");
  auto otherInput = [&] {
    Exchange x{DRIVE0, winio::CTL_SCSI_GET_ADDRESS, {1, 2}};
    CStrictDevices devices({DRIVE0}, {x});
    auto h = devices.Open(DRIVE0, os::Access::ReadWrite, &error);
    const uint8_t in[2] = {1, 3};
    h->Control(winio::CTL_SCSI_GET_ADDRESS, in, 2, out, 8, &returned, &error);
  };
  EXPECT_NONFATAL_FAILURE(otherInput(), "other input bytes");

  // Followed to the letter: answers, returned sizes and errors as scripted.
  Exchange ok{DRIVE0, winio::CTL_SCSI_GET_ADDRESS, {}, false, {8, 0, 0, 0, 5}};
  Exchange refused{DRIVE0, winio::CTL_SCSI_GET_ADDRESS};
  refused.Error = os::ERR_NOT_SUPPORTED;
  CStrictDevices devices({DRIVE0}, {ok, refused});
  auto h = devices.Open(DRIVE0, os::Access::ReadWrite, &error);
  ASSERT_TRUE(h->Control(winio::CTL_SCSI_GET_ADDRESS, nullptr, 0, out, 8, &returned, &error));
  EXPECT_EQ(returned, 5u);
  EXPECT_EQ(out[4], 5);
  EXPECT_FALSE(h->Control(winio::CTL_SCSI_GET_ADDRESS, nullptr, 0, out, 8, &returned, &error));
  EXPECT_EQ(error, os::ERR_NOT_SUPPORTED);
  EXPECT_EQ(devices.Used(), 2u);
}

// The input of a storage query for NVMe data: property, query type, then the
// protocol request with the data placed right after it.
std::vector<uint8_t> StorageQueryInput(uint32_t dataType, uint32_t value, uint32_t subValue) {
  std::vector<uint8_t> in(offsetof(winio::STORAGE_QUERY_NVME, Data), 0);
  using SPSD = winio::STORAGE_PROTOCOL_SPECIFIC_DATA;
  const size_t p = offsetof(winio::STORAGE_QUERY_NVME, Protocol);
  winio::Store32(&in[0], winio::PROPERTY_STORAGE_ADAPTER_PROTOCOL_SPECIFIC);
  winio::Store32(&in[4], winio::PROPERTY_STANDARD_QUERY);
  winio::Store32(&in[p + offsetof(SPSD, ProtocolType)], winio::PROTOCOL_NVME);
  winio::Store32(&in[p + offsetof(SPSD, DataType)], dataType);
  winio::Store32(&in[p + offsetof(SPSD, ProtocolDataRequestValue)], value);
  winio::Store32(&in[p + offsetof(SPSD, ProtocolDataRequestSubValue)], subValue);
  winio::Store32(&in[p + offsetof(SPSD, ProtocolDataOffset)], sizeof(SPSD));
  winio::Store32(&in[p + offsetof(SPSD, ProtocolDataLength)], 4096);
  return in;
}

// The driver's answer: the request echoed, then the page.
std::vector<uint8_t> StorageQueryAnswer(const std::vector<uint8_t>& input,
                                        const std::vector<uint8_t>& page) {
  std::vector<uint8_t> out(sizeof(winio::STORAGE_QUERY_NVME), 0);
  std::memcpy(out.data(), input.data(), input.size());
  std::memcpy(&out[offsetof(winio::STORAGE_QUERY_NVME, Data)], page.data(), page.size());
  return out;
}

struct StrictPlatform {
  explicit StrictPlatform(std::set<std::string> names, std::vector<Exchange> script)
      : Devices(std::move(names), std::move(script)) {}
  CStrictDevices Devices;
  testutil::NullWmi Wmi;
  testutil::RecordingClock Clock;
  testutil::NullFiles Files;
  testutil::NullProfile Profile;
  testutil::NullSystem System;
  os::Platform Get() { return os::Platform{Devices, Wmi, Clock, Files, Profile, System}; }
};

TEST(StrictNvme, IdentifyIsOneStorageQueryForTheController) {
  std::vector<uint8_t> page(4096, ' ');
  std::memcpy(&page[pages::NVME_MODEL_AT], "Samsung SSD 970 EVO 1TB", 23);
  const auto in = StorageQueryInput(winio::NVME_DATA_IDENTIFY, 1, 0);
  StrictPlatform fake({DRIVE1},
                      {{DRIVE1, winio::CTL_STORAGE_QUERY_PROPERTY, in, false,
                        StorageQueryAnswer(in, page), sizeof(winio::STORAGE_QUERY_NVME)}});
  CAtaSmart ata(fake.Get());
  uint8_t buffer[512];
  ASSERT_TRUE(ata.DoIdentifyDeviceNVMeStorageQuery(1, buffer));
  EXPECT_EQ(std::memcmp(buffer, page.data(), sizeof buffer), 0);
}

TEST(StrictNvme, HealthLogAsksAgainForAllNamespacesOnlyAfterARefusal) {
  std::vector<uint8_t> health(512, 0);
  health[1] = 0x2C;
  health[2] = 0x01;  // 300 K
  const auto first = StorageQueryInput(winio::NVME_DATA_LOG_PAGE, 2, 0);
  const auto second = StorageQueryInput(winio::NVME_DATA_LOG_PAGE, 2, 0xFFFFFFFF);
  Exchange refused{DRIVE0, winio::CTL_STORAGE_QUERY_PROPERTY, first};
  refused.Error = os::ERR_INVALID_PARAMETER;
  StrictPlatform fake({DRIVE0}, {refused,
                                 {DRIVE0, winio::CTL_STORAGE_QUERY_PROPERTY, second, false,
                                  StorageQueryAnswer(second, health)}});
  CAtaSmart ata(fake.Get());
  ATA_SMART_INFO asi;
  ASSERT_TRUE(ata.GetSmartAttributeNVMeStorageQuery(0, asi));
  EXPECT_EQ(asi.SmartReadData[1], 0x2C);
  EXPECT_EQ(asi.SmartReadData[2], 0x01);

  // Answered at once: no second request (an unused line would fail).
  StrictPlatform once({DRIVE0}, {{DRIVE0, winio::CTL_STORAGE_QUERY_PROPERTY, first, false,
                                  StorageQueryAnswer(first, health)}});
  CAtaSmart ata2(once.Get());
  ASSERT_TRUE(ata2.GetSmartAttributeNVMeStorageQuery(0, asi));
}

}  // namespace
