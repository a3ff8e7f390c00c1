// IDENTIFY DEVICE decoding: the texts, versions, transfer modes, feature
// flags and capacity of a disk, from its 512-byte sector.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>

#include "engine/AtaSmart.h"
#include "engine/EngineText.h"
#include "os/wire/DiskPages.h"

using namespace engine_text;

namespace {

// Byte ranges of the text fields in the sector.
constexpr size_t SERIAL_OFFSET = pages::ATA_SERIAL_AT, SERIAL_SIZE = pages::ATA_SERIAL_SIZE;
constexpr size_t FIRMWARE_OFFSET = pages::ATA_FIRMWARE_AT, FIRMWARE_SIZE = pages::ATA_FIRMWARE_SIZE;
constexpr size_t MODEL_OFFSET = pages::ATA_MODEL_AT, MODEL_SIZE = pages::ATA_MODEL_SIZE;
constexpr size_t VENDOR_OFFSET = pages::ATA_VENDOR_TEXT_AT,
                 VENDOR_SIZE = pages::ATA_VENDOR_TEXT_SIZE;

uint16_t Word(const uint8_t* identify, int n) {
  return static_cast<uint16_t>(identify[2 * n] | (identify[2 * n + 1] << 8));
}

uint32_t DoubleWord(const uint8_t* identify, int n) {
  return static_cast<uint32_t>(Word(identify, n)) |
         (static_cast<uint32_t>(Word(identify, n + 1)) << 16);
}

void SetWord(uint8_t* identify, int n, uint16_t value) {
  identify[2 * n] = static_cast<uint8_t>(value & 0xFF);
  identify[2 * n + 1] = static_cast<uint8_t>(value >> 8);
}

bool Bit(uint16_t word, int bit) { return ((word >> bit) & 1) != 0; }

void SwapPairs(uint8_t* bytes, size_t size) {
  for (size_t i = 0; i + 1 < size; i += 2) {
    uint8_t t = bytes[i];
    bytes[i] = bytes[i + 1];
    bytes[i + 1] = t;
  }
}

// The first control character of a field becomes a blank and ends the
// scan; a DEL byte marks the whole sector as damaged. Bytes are signed, so
// 0x80-0xFF pass.
bool CheckFieldCharacters(uint8_t* field, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    int8_t c = static_cast<int8_t>(field[i]);
    if (c >= 1 && c <= 31) {
      field[i] = ' ';
      return true;
    }
    if (c == 0x7F) return false;
  }
  return true;
}

// A firmware text read as a decimal number ("1.02" -> 1.02); 0 when it does
// not start with one.
double LeadingDecimal(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  double value = 0.0;
  std::from_chars(text.data() + i, text.data() + text.size(), value);
  return value;
}

uint32_t SaturateToU32(uint64_t value) {
  return value > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                      : static_cast<uint32_t>(value);
}

struct MinorVersion {
  uint16_t Code;
  const char* Text;
};

constexpr MinorVersion kMinorVersions[] = {
    {0x0001, "ATA (ATA-1) X3T9.2 781D prior to revision 4"},
    {0x0002, "ATA-1 published, ANSI X3.221-1994"},
    {0x0003, "ATA (ATA-1) X3T10 781D revision 4"},
    {0x0004, "ATA-2 published, ANSI X3.279-1996"},
    {0x0005, "ATA-2 X3T10 948D prior to revision 2k"},
    {0x0006, "ATA-3 X3T10 2008D revision 1"},
    {0x0007, "ATA-2 X3T10 948D revision 2k"},
    {0x0008, "ATA-3 X3T10 2008D revision 0"},
    {0x0009, "ATA-2 X3T10 948D revision 3"},
    {0x000A, "ATA-3 published, ANSI X3.298-199x"},
    {0x000B, "ATA-3 X3T10 2008D revision 6"},
    {0x000C, "ATA-3 X3T13 2008D revision 7 and 7a"},
    {0x000D, "ATA/ATAPI-4 X3T13 1153D version 6"},
    {0x000E, "ATA/ATAPI-4 T13 1153D version 13"},
    {0x000F, "ATA/ATAPI-4 X3T13 1153D version 7"},
    {0x0010, "ATA/ATAPI-4 T13 1153D version 18"},
    {0x0011, "ATA/ATAPI-4 T13 1153D version 15"},
    {0x0012, "ATA/ATAPI-4 published, ANSI INCITS 317-1998"},
    {0x0013, "ATA/ATAPI-5 T13 1321D version 3"},
    {0x0014, "ATA/ATAPI-4 T13 1153D version 14"},
    {0x0015, "ATA/ATAPI-5 T13 1321D version 1"},
    {0x0016, "ATA/ATAPI-5 published, ANSI INCITS 340-2000"},
    {0x0017, "ATA/ATAPI-4 T13 1153D version 17"},
    {0x0018, "ATA/ATAPI-6 T13 1410D version 0"},
    {0x0019, "ATA/ATAPI-6 T13 1410D version 3a"},
    {0x001A, "ATA/ATAPI-7 T13 1532D version 1"},
    {0x001B, "ATA/ATAPI-6 T13 1410D version 2"},
    {0x001C, "ATA/ATAPI-6 T13 1410D version 1"},
    {0x001D, "ATA/ATAPI-7 published ANSI INCITS 397-2005."},
    {0x001E, "ATA/ATAPI-7 T13 1532D version 0"},
    {0x001F, "ACS-3 Revision 3b"},
    {0x0021, "ATA/ATAPI-7 T13 1532D version 4a"},
    {0x0022, "ATA/ATAPI-6 published, ANSI INCITS 361-2002"},
    {0x0027, "ATA8-ACS version 3c"},
    {0x0028, "ATA8-ACS version 6"},
    {0x0029, "ATA8-ACS version 4"},
    {0x0031, "ACS-2 Revision 2"},
    {0x0033, "ATA8-ACS version 3e"},
    {0x0039, "ATA8-ACS version 4c"},
    {0x0042, "ATA8-ACS version 3f"},
    {0x0052, "ATA8-ACS version 3b"},
    {0x005E, "ACS-4 Revision 5"},
    {0x006D, "ACS-3 Revision 4"},
    {0x0082, "ACS-2 published, ANSI INCITS 482-2012"},
    {0x0107, "ATA8-ACS version 2d"},
    {0x010A, "ACS-3 published, ANSI INCITS 522-2014"},
    {0x0110, "ACS-2 Revision 3"},
    {0x011B, "ACS-3 Revision 4"},
};

const char* const kFormFactors[] = {"",         "5.25 inch", "3.5 inch",
                                    "2.5 inch", "1.8 inch",  "< 1.8 inch"};

}  // namespace

uint32_t CAtaSmart::GetTransferMode(uint16_t w63, uint16_t w76, uint16_t w77, uint16_t w88,
                                    std::string& currentMode, std::string& maxMode,
                                    std::string& interfaceText, int32_t& interfaceType) {
  uint32_t result = TRANSFER_MODE_PIO;
  maxMode.clear();
  currentMode = maxMode;
  interfaceText = "Parallel ATA";
  interfaceType = INTERFACE_TYPE_PATA;

  if (w63 & 0x0700) {
    maxMode = currentMode = "PIO/DMA";
    result = TRANSFER_MODE_PIO_DMA;
  }

  // Supported Ultra DMA modes, highest first; then the selected one.
  static const char* const kUdma[] = {"UDMA/16", "UDMA/25",  "UDMA/33", "UDMA/44",
                                      "UDMA/66", "UDMA/100", "UDMA/133"};
  for (int bit = 6; bit >= 0; --bit) {
    if (Bit(w88, bit)) {
      maxMode = kUdma[bit];
      result = static_cast<uint32_t>(TRANSFER_MODE_ULTRA_DMA_16 + bit);
      break;
    }
  }
  for (int bit = 14; bit >= 8; --bit) {
    if (Bit(w88, bit)) {
      currentMode = kUdma[bit - 8];
      break;
    }
  }

  if (w76 != 0x0000 && w76 != 0xFFFF) {
    maxMode = currentMode = "SATA/150";
    interfaceText = "Serial ATA";
    interfaceType = INTERFACE_TYPE_SATA;
  }
  if (Bit(w76, 4)) {
    maxMode = currentMode = "----";
    result = TRANSFER_MODE_SATA_RESERVED;
  } else if (Bit(w76, 3)) {
    currentMode = "----";
    maxMode = "SATA/600";
    result = TRANSFER_MODE_SATA_600;
  } else if (Bit(w76, 2)) {
    currentMode = "----";
    maxMode = "SATA/300";
    result = TRANSFER_MODE_SATA_300;
  } else if (Bit(w76, 1)) {
    currentMode = "----";
    maxMode = "SATA/150";
    result = TRANSFER_MODE_SATA_150;
  }

  switch ((w77 >> 1) & 0x7) {
    case 3:
      currentMode = "SATA/600";
      break;
    case 2:
      currentMode = "SATA/300";
      break;
    case 1:
      currentMode = "SATA/150";
      break;
    default:
      break;
  }
  return result;
}

int32_t CAtaSmart::GetAtaMajorVersion(uint16_t w80, std::string& text) {
  if (w80 == 0x0000 || w80 == 0xFFFF) return 0;
  for (int n = 14; n >= 1; --n) {
    if (!Bit(w80, n)) continue;
    char buf[32];
    if (n <= 3) {
      std::snprintf(buf, sizeof buf, "ATA-%d", n);
      text = buf;
    } else if (n <= 7) {
      std::snprintf(buf, sizeof buf, "ATA/ATAPI-%d", n);
      text = buf;
    } else if (n == 8) {
      text = "ATA8-ACS";
    } else if (n == 9) {
      text = "ACS-2";
    } else if (n == 10) {
      text = "ACS-3";
    } else {
      text.clear();
    }
    return n;
  }
  text = "----";
  return 0;
}

void CAtaSmart::GetAtaMinorVersion(uint16_t w81, std::string& text) {
  if (w81 == 0x0000 || w81 == 0xFFFF) {
    text = "----";
    return;
  }
  for (const MinorVersion& v : kMinorVersions) {
    if (v.Code == w81) {
      text = v.Text;
      return;
    }
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "---- [%04Xh]", w81);
  text = buf;
}

int32_t CAtaSmart::GetTimeUnitType(const std::string& model, const std::string& firmware,
                                   int32_t majorVersion, int32_t transferMode) {
  const std::string m = UpperAscii(model);
  const std::string fw = UpperAscii(firmware);

  if (StartsWith(m, "FUJITSU")) return majorVersion < 8 ? TIME_UNIT_SECONDS : TIME_UNIT_HOURS;
  if (StartsWith(m, "HITACHI_DK")) return TIME_UNIT_MINUTES;
  if (StartsWith(m, "MAXTOR")) {
    if (transferMode >= TRANSFER_MODE_SATA_300) return TIME_UNIT_HOURS;
    if (StartsWith(m, "MAXTOR 6H") || StartsWith(m, "MAXTOR 7H500") ||
        StartsWith(m, "MAXTOR 6L0") || StartsWith(m, "MAXTOR 4K")) {
      return TIME_UNIT_HOURS;
    }
    return TIME_UNIT_MINUTES;
  }
  if (StartsWith(m, "SAMSUNG")) {
    if (transferMode >= TRANSFER_MODE_SATA_300) return TIME_UNIT_HOURS;
    // Old Samsung firmware revisions end in "-23" to "-39".
    std::string_view tail = firmware;
    if (tail.size() > 3) tail = tail.substr(tail.size() - 3);
    int64_t revision = LeadingInteger(tail);
    if ((revision >= -39 && revision <= -23) || StartsWith(m, "SAMSUNG SV") ||
        StartsWith(m, "SAMSUNG SP") || StartsWith(m, "SAMSUNG HM") || StartsWith(m, "SAMSUNG MP")) {
      return TIME_UNIT_HALF_MINUTES;
    }
    return TIME_UNIT_HOURS;
  }
  if ((StartsWith(m, "CFD_CSSD-S6TM128NMPQ") || StartsWith(m, "CFD_CSSD-S6TM256NMPQ")) &&
      (StartsWith(fw, "VM21") || StartsWith(fw, "VN21"))) {
    return TIME_UNIT_10_MINUTES;
  }
  if ((Contains(m, "PX-128M2P") || Contains(m, "PX-256M2P") ||
       StartsWith(m, "CORSAIR PERFORMANCE PRO")) &&
      LeadingDecimal(firmware) < 1.059) {
    return TIME_UNIT_10_MINUTES;
  }
  if ((StartsWith(m, "INTEL SSDSC2CW") || StartsWith(m, "INTEL SSDSC2BW") ||
       StartsWith(m, "INTEL SSDSC2CT")) &&
      m.find("A3", 1) != std::string::npos) {
    return TIME_UNIT_HOURS_OFFSET;
  }
  return TIME_UNIT_HOURS;
}

std::string CAtaSmart::GetModelSerial(const std::string& model, const std::string& serial) {
  std::string key;
  key.reserve(model.size() + serial.size());
  for (const std::string* part : {&model, &serial}) {
    for (char c : *part) {
      // File-name characters, and control characters no file system takes.
      if (std::strchr("\\/:*?\"<>|", c) != nullptr) continue;
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) continue;
      key.push_back(c);
    }
  }
  return key;
}

int32_t CAtaSmart::DecodeIdentifyTexts(ATA_SMART_INFO& asi, uint8_t* identify) {
  unsigned sum = 0;
  for (size_t i = 0; i < 512; ++i) sum += identify[i];
  asi.IsCheckSumError = (sum & 0xFF) != 0 ? 1 : 0;

  if (!CheckFieldCharacters(identify + SERIAL_OFFSET, SERIAL_SIZE) ||
      !CheckFieldCharacters(identify + FIRMWARE_OFFSET, FIRMWARE_SIZE) ||
      !CheckFieldCharacters(identify + MODEL_OFFSET, MODEL_SIZE)) {
    asi.IsIdInfoIncorrect = 1;
    return IDENTIFY_BAD_CHARACTER;
  }

  asi.SerialNumberReverse = Trim(Latin1ToUtf8(identify + SERIAL_OFFSET, SERIAL_SIZE));
  asi.FirmwareRevReverse = Trim(Latin1ToUtf8(identify + FIRMWARE_OFFSET, FIRMWARE_SIZE));
  asi.ModelReverse = Trim(Latin1ToUtf8(identify + MODEL_OFFSET, MODEL_SIZE));
  uint8_t vendor[VENDOR_SIZE];
  std::memcpy(vendor, asi.IdentifyDevice.data() + VENDOR_OFFSET, VENDOR_SIZE);
  SwapPairs(vendor, VENDOR_SIZE);
  asi.VendorSpecificText = Latin1ToUtf8(vendor, VENDOR_SIZE);

  SwapPairs(identify + SERIAL_OFFSET, SERIAL_SIZE);
  SwapPairs(identify + FIRMWARE_OFFSET, FIRMWARE_SIZE);
  SwapPairs(identify + MODEL_OFFSET, MODEL_SIZE);
  SwapPairs(identify + VENDOR_OFFSET, VENDOR_SIZE);
  asi.VendorSpecificTextTrimmed = Trim(Latin1ToUtf8(identify + VENDOR_OFFSET, VENDOR_SIZE));
  asi.SerialNumber = Trim(Latin1ToUtf8(identify + SERIAL_OFFSET, SERIAL_SIZE));
  asi.FirmwareRev = Trim(Latin1ToUtf8(identify + FIRMWARE_OFFSET, FIRMWARE_SIZE));
  asi.Model = Trim(Latin1ToUtf8(identify + MODEL_OFFSET, MODEL_SIZE));
  return IDENTIFY_OK;
}

void CAtaSmart::DecodeIdentifyFeatures(ATA_SMART_INFO& asi, const uint8_t* identify) {
  // One ADATA firmware reports its temperature doubled.
  if (StartsWith(asi.Model, "ADATA SSD")) {
    std::string digits;
    for (char c : asi.FirmwareRev) {
      if (c != '.') digits.push_back(c);
    }
    if (LeadingInteger(digits) == 346) asi.TemperatureMultiplier = 0.5;
  }

  asi.ModelSerial = GetModelSerial(asi.Model, asi.SerialNumber);

  asi.MajorVersion = GetAtaMajorVersion(Word(identify, 80), asi.MajorVersionText);
  GetAtaMinorVersion(Word(identify, 81), asi.MinorVersionText);
  asi.TransferModeType = GetTransferMode(Word(identify, 63), Word(identify, 76), Word(identify, 77),
                                         Word(identify, 88), asi.CurrentTransferMode,
                                         asi.MaxTransferMode, asi.Interface, asi.InterfaceType);
  asi.DetectedTimeUnitType = GetTimeUnitType(asi.Model, asi.FirmwareRev, asi.MajorVersion,
                                             static_cast<int32_t>(asi.TransferModeType));
  if (asi.DetectedTimeUnitType == TIME_UNIT_10_MINUTES ||
      asi.DetectedTimeUnitType == TIME_UNIT_HOURS_OFFSET) {
    asi.MeasuredTimeUnitType = asi.DetectedTimeUnitType;
  }

  // Feature words mean something only from the standard that defined them.
  const uint16_t w83 = Word(identify, 83);
  const uint16_t w86 = Word(identify, 86);
  if (asi.MajorVersion >= 3) {
    asi.IsSmartSupported = Bit(Word(identify, 82), 0);
    asi.IsApmSupported = Bit(w83, 3);
    if (asi.IsApmSupported) asi.IsApmEnabled = Bit(w86, 3);
  }
  if (asi.MajorVersion >= 5) {
    asi.IsAamSupported = Bit(w83, 9);
    if (asi.IsAamSupported) asi.IsAamEnabled = Bit(w86, 9);
    asi.IsLba48Supported = Bit(w83, 10);
  }
  if (asi.MajorVersion >= 6) asi.IsNcqSupported = Bit(Word(identify, 76), 8);
  if (asi.MajorVersion >= 7) {
    asi.IsNvCacheSupported = Bit(Word(identify, 214), 0);
    asi.IsTrimSupported = Bit(Word(identify, 169), 0);
    const uint16_t rotation = Word(identify, 217);
    if (rotation == 1) {
      asi.IsSsd = 1;
      asi.NominalMediaRotationRate = 1;
    } else if (rotation >= 0x0401 && rotation <= 0xFFFE) {
      asi.NominalMediaRotationRate = rotation;
    }
    const uint16_t formFactor = Word(identify, 168) & 0x0F;
    if (formFactor >= 1 && formFactor <= 5) asi.FormFactor = kFormFactors[formFactor];
    asi.IsDeviceSleepSupported = Bit(Word(identify, 78), 8);
  }

  asi.IsMaxtor21 =
      StartsWith(asi.Model, "MAXTOR") && asi.DetectedTimeUnitType == TIME_UNIT_MINUTES ? 1 : 0;
}

int32_t CAtaSmart::DecodeIdentifyGeometry(ATA_SMART_INFO& asi, uint8_t* identify) {
  struct Clamp {
    int WordIndex;
    uint16_t Limit;
  };
  for (const Clamp& c : {Clamp{1, 0x3FFF}, Clamp{3, 16}, Clamp{6, 63}}) {
    if (Word(identify, c.WordIndex) > c.Limit) {
      SetWord(identify, c.WordIndex, c.Limit);
      asi.IsIdInfoIncorrect = 1;
    }
  }
  asi.Cylinder = Word(identify, 1);
  asi.Head = Word(identify, 3);
  asi.Sector = Word(identify, 6);
  const uint32_t words60 = DoubleWord(identify, 60);
  asi.Sector28 = words60 & 0x0FFFFFFF;
  asi.Sector48Low = DoubleWord(identify, 100);
  asi.Sector48High = Word(identify, 102);
  asi.IsSmartAssumed = words60 == 0x01100003 ? 1 : 0;
  if (asi.Cylinder == 0 || asi.Head == 0 || asi.Sector == 0) return IDENTIFY_NO_GEOMETRY;

  // Capacity in MB (2^20 bytes), in 64-bit arithmetic.
  const uint64_t chs = static_cast<uint64_t>(asi.Cylinder) * asi.Head * asi.Sector;
  asi.NumberOfSectors = chs;
  asi.DiskSizeChs = SaturateToU32(chs * 512 >> 20);
  const uint32_t chsBytes32 = static_cast<uint32_t>(chs * 512) & 0xFFF00000u;
  if (chsBytes32 > 0x40000000u || (chsBytes32 & 0x80000000u) != 0) asi.DiskSizeChs -= 49;

  const uint64_t lba28Mb = static_cast<uint64_t>(asi.Sector28) * 512 >> 20;
  if (asi.Sector28 != 0 && lba28Mb > 49) {
    asi.DiskSizeLba28 = static_cast<uint32_t>(lba28Mb - 49);
    asi.NumberOfSectors = asi.Sector28;
  } else {
    asi.DiskSizeLba28 = 0;
  }

  const uint64_t sector48 =
      (static_cast<uint64_t>(asi.Sector48High) << 32) | static_cast<uint64_t>(asi.Sector48Low);
  const uint64_t lba48Mb = sector48 * 512 >> 20;
  if (asi.IsLba48Supported && lba48Mb > 49) {
    asi.DiskSizeLba48 = SaturateToU32(lba48Mb - 49);
    asi.NumberOfSectors = sector48;
  } else {
    asi.DiskSizeLba48 = 0;
  }

  if (words60 > 0x0FFFFFFF || asi.DiskSizeChs == 0) {
    asi.TotalDiskSize = 0;
  } else if (asi.DiskSizeLba48 > asi.DiskSizeLba28) {
    asi.TotalDiskSize = asi.DiskSizeLba48;
  } else {
    asi.TotalDiskSize = asi.DiskSizeLba28;
    if (asi.DiskSizeLba28 <= asi.DiskSizeChs) asi.TotalDiskSize = asi.DiskSizeChs;
  }
  if (asi.IsLba48Supported && words60 < 0x0FFFFFFF && asi.DiskSizeLba48 != asi.DiskSizeLba28) {
    asi.DiskSizeLba48 = 0;
  }

  asi.BufferSize = static_cast<uint32_t>(Word(identify, 21)) * 512;
  if (asi.IsNvCacheSupported)
    asi.NvCacheSize = static_cast<uint64_t>(DoubleWord(identify, 215)) * 512;
  return IDENTIFY_OK;
}
