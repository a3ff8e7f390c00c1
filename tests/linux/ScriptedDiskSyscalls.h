// A scripted stand-in for the Linux system calls: each expected request and
// the answer to give. A request beyond the script, or a script left unused,
// fails the test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "os/linux/DiskSyscalls.h"

namespace testutil {

struct ScsiStep {
  // What the request must be.
  std::string Node;
  std::vector<uint8_t> Cdb;
  os::DataDirection Direction = os::DataDirection::None;
  uint32_t DataLength = 0;
  uint32_t TimeoutMs = 2000;
  // What to answer.
  int Errno = 0;
  uint8_t Status = 0;
  std::vector<uint8_t> Sense;
  std::vector<uint8_t> Data;  // device to host; copied up to DataLength
  int32_t Residual = 0;
  uint16_t HostStatus = 0;
  uint16_t DriverStatus = 0;
};

struct NvmeStep {
  std::string Node;
  uint8_t Opcode = 0;
  uint32_t Nsid = 0;
  uint32_t Cdw10 = 0;
  uint32_t Cdw11 = 0;
  uint32_t Cdw12 = 0;
  uint32_t DataLength = 0;
  int Errno = 0;
  uint32_t Status = 0;
  uint32_t Result = 0;
  std::vector<uint8_t> Data;
};

class CScriptedDiskSyscalls : public os::IDiskSyscalls {
 public:
  ~CScriptedDiskSyscalls() override {
    EXPECT_TRUE(ScsiScript.empty()) << ScsiScript.size() << " SCSI request(s) never sent";
    EXPECT_TRUE(NvmeScript.empty()) << NvmeScript.size() << " NVMe request(s) never sent";
  }

  int Scsi(const std::string& node, os::ScsiRequest& r) override {
    if (ScsiScript.empty()) {
      ADD_FAILURE() << "unexpected SCSI request to " << node;
      return 5;  // EIO
    }
    ScsiStep s = ScsiScript.front();
    ScsiScript.pop_front();
    EXPECT_EQ(node, s.Node);
    EXPECT_EQ(std::vector<uint8_t>(r.Cdb.begin(), r.Cdb.begin() + r.CdbLength), s.Cdb);
    EXPECT_EQ(r.Direction, s.Direction);
    EXPECT_EQ(r.DataLength, s.DataLength);
    EXPECT_EQ(r.TimeoutMs, s.TimeoutMs);
    if (r.Direction == os::DataDirection::Out) {
      SentData.assign(r.Data, r.Data + r.DataLength);
    }
    if (s.Errno) return s.Errno;
    if (r.Direction == os::DataDirection::In && !s.Data.empty()) {
      std::memcpy(r.Data, s.Data.data(), std::min<size_t>(s.Data.size(), r.DataLength));
    }
    r.ScsiStatus = s.Status;
    std::copy(s.Sense.begin(), s.Sense.end(), r.Sense.begin());
    r.SenseLength = static_cast<uint8_t>(s.Sense.size());
    r.Residual = s.Residual;
    r.HostStatus = s.HostStatus;
    r.DriverStatus = s.DriverStatus;
    return 0;
  }

  int NvmeAdmin(const std::string& node, os::NvmeAdminRequest& r) override {
    if (NvmeScript.empty()) {
      ADD_FAILURE() << "unexpected NVMe request to " << node;
      return 5;
    }
    NvmeStep s = NvmeScript.front();
    NvmeScript.pop_front();
    EXPECT_EQ(node, s.Node);
    EXPECT_EQ(r.Opcode, s.Opcode);
    EXPECT_EQ(r.Nsid, s.Nsid);
    EXPECT_EQ(r.Cdw10, s.Cdw10);
    EXPECT_EQ(r.Cdw11, s.Cdw11);
    EXPECT_EQ(r.Cdw12, s.Cdw12);
    EXPECT_EQ(r.DataLength, s.DataLength);
    if (s.Errno) return s.Errno;
    if (!s.Data.empty()) {
      std::memcpy(r.Data, s.Data.data(), std::min<size_t>(s.Data.size(), r.DataLength));
    }
    r.Status = s.Status;
    r.Result = s.Result;
    return 0;
  }

  int Read(const std::string& node, uint64_t offset, void* data, uint32_t length,
           uint32_t* got) override {
    Reads.push_back({node, offset, length});
    if (ReadErrno) return ReadErrno;
    std::memset(data, 0x5A, length);
    *got = length;
    return 0;
  }

  struct ReadCall {
    std::string Node;
    uint64_t Offset;
    uint32_t Length;
  };
  std::deque<ScsiStep> ScsiScript;
  std::deque<NvmeStep> NvmeScript;
  std::vector<ReadCall> Reads;
  std::vector<uint8_t> SentData;
  int ReadErrno = 0;
};

}  // namespace testutil
