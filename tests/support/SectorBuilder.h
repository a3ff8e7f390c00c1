// Builders of synthetic disk sectors for tests: IDENTIFY DEVICE, S.M.A.R.T.
// READ DATA and READ THRESHOLDS, laid out as a disk sends them.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "os/wire/DiskPages.h"

namespace testutil {

using Sector = std::array<uint8_t, 512>;

// IDENTIFY DEVICE. Starts as a plain SATA hard disk: ATA8-ACS, SATA/300,
// S.M.A.R.T. and 48-bit addressing supported, 16383/16/63 geometry and
// 976773168 sectors (500 GB).
class IdentifyBuilder {
 public:
  IdentifyBuilder() {
    Word(0, 0x0040);  // fixed device
    Word(1, 16383).Word(3, 16).Word(6, 63);
    Model("TEST DISK 500").Serial("SN0001").Firmware("FW01");
    Word(21, 8192);    // buffer: 4 MB
    Word(63, 0x0007);  // multiword DMA 0-2 supported
    Word(76, 0x0106);  // SATA 1.5 and 3.0 Gb/s, NCQ
    Word(77, 0x0004);  // negotiated 3.0 Gb/s
    Word(80, 0x01F0);  // ATA/ATAPI-4 to ATA8-ACS
    Word(81, 0x0028);  // ATA8-ACS version 6
    Word(82, 0x0001);  // S.M.A.R.T.
    Word(83, 0x0400);  // 48-bit addressing
    Word(88, 0x007F);  // UDMA/133 supported
    Sectors28(0x0FFFFFFF);
    Sectors48(976773168);
  }

  IdentifyBuilder& Word(int n, uint16_t v) {
    m_Bytes[2 * n] = static_cast<uint8_t>(v & 0xFF);
    m_Bytes[2 * n + 1] = static_cast<uint8_t>(v >> 8);
    return *this;
  }
  uint16_t GetWord(int n) const {
    return static_cast<uint16_t>(m_Bytes[2 * n] | (m_Bytes[2 * n + 1] << 8));
  }
  // Text fields in the disk's byte order (pairs swapped), blank padded.
  IdentifyBuilder& Serial(const std::string& s) {
    return Text(pages::ATA_SERIAL_AT, pages::ATA_SERIAL_SIZE, s);
  }
  IdentifyBuilder& Firmware(const std::string& s) {
    return Text(pages::ATA_FIRMWARE_AT, pages::ATA_FIRMWARE_SIZE, s);
  }
  IdentifyBuilder& Model(const std::string& s) {
    return Text(pages::ATA_MODEL_AT, pages::ATA_MODEL_SIZE, s);
  }
  // Words 129-159, NUL padded.
  IdentifyBuilder& VendorText(const std::string& s) { return Text(258, 62, s, '\0'); }
  IdentifyBuilder& Sectors28(uint32_t n) {
    return Word(60, static_cast<uint16_t>(n)).Word(61, static_cast<uint16_t>(n >> 16));
  }
  IdentifyBuilder& Sectors48(uint64_t n) {
    return Word(100, static_cast<uint16_t>(n))
        .Word(101, static_cast<uint16_t>(n >> 16))
        .Word(102, static_cast<uint16_t>(n >> 32));
  }
  // Raw byte access, for damaged sectors.
  IdentifyBuilder& Byte(size_t offset, uint8_t v) {
    m_Bytes[offset] = v;
    return *this;
  }
  // Word 255: signature A5 and the checksum that makes the sector sum to 0.
  IdentifyBuilder& Checksum() {
    m_Bytes[510] = 0xA5;
    unsigned sum = 0;
    for (size_t i = 0; i < 511; ++i) sum += m_Bytes[i];
    m_Bytes[511] = static_cast<uint8_t>(-static_cast<int>(sum & 0xFF));
    return *this;
  }
  Sector Build() const { return m_Bytes; }

 private:
  IdentifyBuilder& Text(size_t offset, size_t size, const std::string& s, char pad = ' ') {
    for (size_t i = 0; i < size; ++i) {
      uint8_t c = static_cast<uint8_t>(i < s.size() ? s[i] : pad);
      m_Bytes[offset + (i ^ 1)] = c;
    }
    return *this;
  }
  Sector m_Bytes{};
};

// One attribute of a S.M.A.R.T. READ DATA sector.
struct Attr {
  uint8_t Id;
  uint8_t Current = 100;
  uint8_t Worst = 100;
  uint64_t Raw = 0;  // 48 bits, little-endian in the sector
  uint8_t Reserved = 0;
  uint16_t Flags = 0x0032;
};

// S.M.A.R.T. READ DATA: revision 0x0010, then entries from byte 2.
class SmartDataBuilder {
 public:
  SmartDataBuilder() { m_Bytes[0] = 0x10; }
  // Writes an entry at table position `pos` (0 to 29).
  SmartDataBuilder& At(int pos, const Attr& a) {
    uint8_t* e = &m_Bytes[2 + 12 * pos];
    e[0] = a.Id;
    e[1] = static_cast<uint8_t>(a.Flags & 0xFF);
    e[2] = static_cast<uint8_t>(a.Flags >> 8);
    e[3] = a.Current;
    e[4] = a.Worst;
    for (int i = 0; i < 6; ++i) e[5 + i] = static_cast<uint8_t>(a.Raw >> (8 * i));
    e[11] = a.Reserved;
    return *this;
  }
  // Appends an entry at the next position.
  SmartDataBuilder& Add(const Attr& a) { return At(m_Next++, a); }
  Sector Build() const { return m_Bytes; }

 private:
  Sector m_Bytes{};
  int m_Next = 0;
};

// S.M.A.R.T. READ THRESHOLDS: entries of Id and threshold from byte 2.
class ThresholdBuilder {
 public:
  ThresholdBuilder() { m_Bytes[0] = 0x10; }
  ThresholdBuilder& At(int pos, uint8_t id, uint8_t threshold) {
    m_Bytes[2 + 12 * pos] = id;
    m_Bytes[3 + 12 * pos] = threshold;
    return *this;
  }
  ThresholdBuilder& Add(uint8_t id, uint8_t threshold) { return At(m_Next++, id, threshold); }
  Sector Build() const { return m_Bytes; }

 private:
  Sector m_Bytes{};
  int m_Next = 0;
};

}  // namespace testutil
