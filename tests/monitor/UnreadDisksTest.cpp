// Disks the machine has but whose S.M.A.R.T. could not be read: which ones
// the report lists, why, how the report ends, and how they are printed.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "monitor/DiskReport.h"

namespace {

// The inventory of a machine: Win32_DiskDrive rows only.
class CInventory : public os::IWmi {
 public:
  std::optional<std::vector<os::WmiObject>> Query(const std::string& nameSpace,
                                                  const std::string& wql) override {
    if (nameSpace != "root\\cimv2" || wql != "SELECT * FROM Win32_DiskDrive") return std::nullopt;
    if (Broken) return std::nullopt;
    return Rows;
  }
  void Add(std::map<std::string, os::WmiValue> properties) {
    os::WmiObject o;
    for (auto& [name, value] : properties) o.Properties[name] = value;
    Rows.push_back(o);
  }
  std::vector<os::WmiObject> Rows;
  bool Broken = false;
};

// The device seam as far as the report asks it: node names and the refusal.
class CRefusingDevices : public os::IDeviceIo {
 public:
  std::unique_ptr<os::IDeviceHandle> Open(const std::string&, os::Access,
                                          uint32_t* error) override {
    *error = os::ERR_FILE_NOT_FOUND;
    return nullptr;
  }
  bool DefineRawDosDevice(const std::string&, const std::string&) override { return false; }
  std::string DevicePath(int32_t drive) override {
    return drive >= 0 ? "/dev/node" + std::to_string(drive) : std::string();
  }
  os::AccessDenial DeviceAccessDenial() override { return Denial; }
  os::AccessDenial Denial = os::AccessDenial::None;
};

ATA_SMART_INFO ReadDisk(int32_t drive) {
  ATA_SMART_INFO asi;
  asi.PhysicalDriveId = drive;
  asi.Model = "READ DISK";
  return asi;
}

TEST(FindUnreadDisks, InventoryDisksNotReadWithTheRefusalAsCause) {
  const std::pair<os::AccessDenial, monitor::UnreadCause> cases[] = {
      {os::AccessDenial::None, monitor::UnreadCause::NoSmartCommand},
      {os::AccessDenial::NotPrivileged, monitor::UnreadCause::NotPrivileged},
      {os::AccessDenial::RefusedToPrivileged, monitor::UnreadCause::RefusedToPrivileged},
  };
  for (const auto& [denial, cause] : cases) {
    CInventory wmi;
    wmi.Add({{"DeviceID", std::string("\\\\.\\PHYSICALDRIVE0")},
             {"Index", int64_t{0}},
             {"Model", std::string("READ DISK")},
             {"Size", std::string("500105249280")}});
    wmi.Add({{"DeviceID", std::string("\\\\.\\PHYSICALDRIVE1")},
             {"Index", int64_t{1}},
             {"Model", std::string("Virtio Block Device")},
             {"Size", std::string("21467980800")},
             {"DevicePath", std::string("/dev/vda")}});
    // No Index: the number comes from the device id; the size is a number.
    wmi.Add({{"DeviceID", std::string("\\\\.\\PhysicalDrive3")},
             {"Model", std::string("SanDisk Ultra USB Device")},
             {"Size", int64_t{15376318464}}});
    CRefusingDevices devices;
    devices.Denial = denial;
    CDiskArray disks;
    disks.Add(ReadDisk(0));
    auto unread = monitor::FindUnreadDisks(disks, wmi, devices);
    ASSERT_EQ(unread.size(), 2u);
    EXPECT_EQ(unread[0].PhysicalDriveId, 1);
    EXPECT_EQ(unread[0].Model, "Virtio Block Device");
    EXPECT_EQ(unread[0].Size, 21467980800u);
    EXPECT_EQ(unread[0].DevicePath, "/dev/vda");  // the inventory's own node first
    EXPECT_EQ(unread[0].Cause, cause);
    EXPECT_EQ(unread[1].PhysicalDriveId, 3);
    EXPECT_EQ(unread[1].Size, 15376318464u);
    EXPECT_EQ(unread[1].DevicePath, "/dev/node3");
    EXPECT_EQ(unread[1].Cause, cause);
  }
}

TEST(FindUnreadDisks, BadRowsAreSkippedOrLeftUnknown) {
  CInventory wmi;
  wmi.Add({{"DeviceID", std::string("\\\\.\\PHYSICALDRIVE")}});         // no number
  wmi.Add({{"DeviceID", std::string("\\\\.\\PHYSICALDRIVEX2")}});       // not a number
  wmi.Add({{"DeviceID", std::string("\\\\.\\PHYSICALDRIVE9999999")}});  // absurd
  wmi.Add({{"Index", int64_t{-4}}});                                    // nothing usable
  wmi.Add({{"Index", int64_t{2}},
           {"Size", std::string("99999999999999999999999")},  // overflows 64 bits
           {"Caption", std::string("Caption Only")}});
  wmi.Add({{"Index", int64_t{2}}, {"Model", std::string("Twice")}});  // drive seen already
  wmi.Add({{"Index", int64_t{5}}, {"Size", std::string("12ab")}});
  CRefusingDevices devices;
  auto unread = monitor::FindUnreadDisks(CDiskArray(), wmi, devices);
  ASSERT_EQ(unread.size(), 2u);
  EXPECT_EQ(unread[0].PhysicalDriveId, 2);
  EXPECT_EQ(unread[0].Model, "Caption Only");
  EXPECT_EQ(unread[0].Size, 0u);
  EXPECT_EQ(unread[1].PhysicalDriveId, 5);
  EXPECT_EQ(unread[1].Model, "");
  EXPECT_EQ(unread[1].Size, 0u);

  wmi.Broken = true;
  EXPECT_TRUE(monitor::FindUnreadDisks(CDiskArray(), wmi, devices).empty());
}

TEST(JudgeReport, OutcomeByDisksAndRefusal) {
  using O = monitor::ReportOutcome;
  using D = os::AccessDenial;
  struct Case {
    int32_t Read;
    size_t Unread;
    D Denial;
    O Outcome;
  };
  const Case cases[] = {
      {0, 0, D::None, O::NoDisk},
      {0, 0, D::NotPrivileged, O::NoDisk},
      {0, 0, D::RefusedToPrivileged, O::NoDisk},
      {2, 0, D::None, O::DisksRead},
      {2, 0, D::NotPrivileged, O::DisksRead},  // refused something, every disk read anyway
      {0, 1, D::None, O::DisksRead},           // a USB stick alone: nothing more to read
      {1, 1, D::None, O::DisksRead},
      {0, 2, D::NotPrivileged, O::NotPrivileged},
      {1, 1, D::NotPrivileged, O::NotPrivileged},
      {0, 1, D::RefusedToPrivileged, O::RefusedToPrivileged},
      {3, 1, D::RefusedToPrivileged, O::RefusedToPrivileged},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(monitor::JudgeReport(c.Read, c.Unread, c.Denial), c.Outcome)
        << c.Read << " read, " << c.Unread << " unread, denial " << static_cast<int>(c.Denial);
  }
}

std::vector<monitor::UnreadDisk> TwoUnread() {
  monitor::UnreadDisk vda;
  vda.PhysicalDriveId = 0;
  vda.Model = "Virtio \"Block\" Device";
  vda.Size = 21474836480;
  vda.DevicePath = "/dev/vda";
  vda.Cause = monitor::UnreadCause::RefusedToPrivileged;
  monitor::UnreadDisk stick;
  stick.PhysicalDriveId = 1;
  stick.Cause = monitor::UnreadCause::NoSmartCommand;
  return {vda, stick};
}

TEST(DiskReportJson, UnreadDisksInTheirOwnList) {
  CDiskArray disks;
  disks.Add(ReadDisk(2));
  const std::string json = monitor::DiskReportJson(disks, TwoUnread());
  ASSERT_EQ(json.substr(0, 1), "{");
  const size_t read = json.find("\"Disks\": [");
  const size_t model = json.find("\"Model\": \"READ DISK\"");
  const size_t unread = json.find("\"UnreadDisks\": [");
  ASSERT_NE(read, std::string::npos);
  ASSERT_NE(unread, std::string::npos);
  EXPECT_LT(read, model);
  EXPECT_LT(model, unread);
  const std::string tail = json.substr(unread);
  EXPECT_NE(tail.find("\"Model\": \"Virtio \\\"Block\\\" Device\""), std::string::npos) << tail;
  EXPECT_NE(tail.find("\"Size\": 21474836480"), std::string::npos) << tail;
  EXPECT_NE(tail.find("\"DevicePath\": \"/dev/vda\""), std::string::npos) << tail;
  EXPECT_NE(tail.find("\"Cause\": \"RefusedToPrivileged\""), std::string::npos) << tail;
  EXPECT_NE(tail.find("\"Cause\": \"NoSmartCommand\""), std::string::npos) << tail;
  EXPECT_NE(tail.find("even to root"), std::string::npos) << tail;

  EXPECT_EQ(monitor::DiskReportJson(CDiskArray(), {}),
            "{\n  \"Disks\": [],\n  \"UnreadDisks\": []\n}\n");
}

TEST(DiskReportText, UnreadDisksSectionSaysWhy) {
  const std::string none = monitor::DiskReportText(CDiskArray(), TwoUnread(), nullptr);
  EXPECT_EQ(none.find("No disk found."), std::string::npos) << none;
  EXPECT_NE(none.find("Disks without S.M.A.R.T.:\n"), std::string::npos) << none;
  EXPECT_NE(none.find("  Virtio \"Block\" Device 21.5 GB /dev/vda: the system refuses raw disk "
                      "access even to root"),
            std::string::npos)
      << none;
  EXPECT_NE(none.find("  (no model) Unknown: it answered no ATA or NVMe command"),
            std::string::npos)
      << none;

  CDiskArray disks;
  disks.Add(ReadDisk(2));
  const std::string both = monitor::DiskReportText(disks, TwoUnread(), nullptr);
  EXPECT_LT(both.find("READ DISK"), both.find("Disks without S.M.A.R.T."));
  // Without unread disks the report is what it always was.
  EXPECT_EQ(monitor::DiskReportText(disks, {}, nullptr), monitor::DiskReportText(disks, nullptr));
  EXPECT_EQ(monitor::DiskReportText(CDiskArray(), {}, nullptr), "No disk found.\n");
}

TEST(UnreadCauseText, RootAdviceOnlyWhereRootHelps) {
  EXPECT_NE(monitor::UnreadCauseText(monitor::UnreadCause::NotPrivileged).find("run as root"),
            std::string::npos);
  EXPECT_EQ(monitor::UnreadCauseText(monitor::UnreadCause::RefusedToPrivileged).find("run as root"),
            std::string::npos);
  EXPECT_EQ(monitor::UnreadCauseText(monitor::UnreadCause::NoSmartCommand).find("root"),
            std::string::npos);
}

TEST(DiskReportText, MountPointsAreNotCalledDriveLetters) {
  CDiskArray disks;
  ATA_SMART_INFO mounted = ReadDisk(0);
  mounted.DriveMapLine = "/ /home";
  disks.Add(mounted);
  ATA_SMART_INFO windows = ReadDisk(1);
  windows.DriveMapLine = "C: D:";
  windows.DriveLetterMap = (1u << 2) | (1u << 3);
  disks.Add(windows);
  const std::string out = monitor::DiskReportText(disks, nullptr);
  EXPECT_NE(out.find("Mount points        : / /home\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Drive letters       : C: D:\n"), std::string::npos) << out;
}

}  // namespace
