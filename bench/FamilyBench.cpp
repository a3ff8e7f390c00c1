// CPU cost of sorting a disk into its family and judging it: the classifier
// runs once per admission read pass, the status once per refresh. Disks are
// built in memory, so only the engine's own work is measured.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/AtaSmart.h"
#include "engine/DiskStatus.h"
#include "engine/SmartFamily.h"
#include "tests/support/FamilyTestSupport.h"

namespace {

struct Sample {
  const char* Model;
  std::vector<uint8_t> Ids;
  const char* Text;
};

// From the first test to the last: the later a family is decided, the more
// tests a disk walks through.
const Sample kSamples[] = {
    {"GENERIC SSD", {0x01, 0x05, 0x09, 0x0C, 0xA9, 0xC2, 0xF1}, "SM2246EN"},
    {"Samsung SSD 850 PRO 256GB", {0x05, 0x09, 0x0C, 0xB1, 0xB3, 0xC2, 0xF1}, ""},
    {"INTEL SSDSA2CW120G3", {0x03, 0x04, 0x05, 0x09, 0x0C, 0xAA, 0xAB, 0xAC, 0xE8, 0xE9, 0xF1}, ""},
    {"GENERIC MLC", {0x09, 0x0C, 0xB1, 0xB2, 0xB3, 0xB4, 0xB7, 0xC2}, ""},
    {"WDC WD5000AAKS-00TMA0",
     {0x01, 0x03, 0x04, 0x05, 0x07, 0x09, 0x0A, 0x0C, 0xC2, 0xC5, 0xC6},
     ""},
    {"FUJITSU MHY2120BH", {0x01, 0x02, 0x03, 0x04, 0x05, 0x07, 0x09, 0x0C, 0xC2, 0xC5, 0xC6}, ""},
};

template <class F>
double NanosecondsPerCall(F&& f, int calls) {
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < calls; ++i) f(i);
  auto end = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::nano>(end - start).count() / calls;
}

}  // namespace

int main() {
  testutil::NullMachine machine;
  std::vector<ATA_SMART_INFO> disks;
  for (const Sample& s : kSamples) {
    ATA_SMART_INFO asi = machine.Ata.NewRecord();
    asi.Model = s.Model;
    testutil::SetAttributeIds(asi, s.Ids);
    testutil::SetSmartText(asi, s.Text);
    testutil::SetWord(asi, 2, 0xC837);
    asi.SupportLevel = SUPPORT_CONTROLLER;
    asi.IsSmartCorrect = 1;
    asi.IsThresholdCorrect = 1;
    disks.push_back(asi);
  }
  const int kCalls = 200000;
  long sink = 0;
  for (const ATA_SMART_INFO& disk : disks) {
    ATA_SMART_INFO asi = disk;
    double classify = NanosecondsPerCall(
        [&](int) {
          asi.DiskVendorId = 0;
          machine.Ata.ClassifySmartFamily(asi);
          sink += asi.DiskVendorId;
        },
        kCalls);
    double status = NanosecondsPerCall([&](int) { sink += EvaluateDiskStatus(asi); }, kCalls);
    std::printf("%-28s family %3d  classify %7.0f ns  status %5.0f ns\n", disk.Model.c_str(),
                asi.DiskVendorId, classify, status);
  }
  return sink == 42 ? 1 : 0;
}
