// Where the fields the program reads sit in the pages disks answer with:
// the ATA IDENTIFY DEVICE sector and the NVMe Identify Controller page.
// Texts are fixed-size fields padded with blanks; ATA texts hold their
// characters swapped in pairs, NVMe texts in reading order.
#pragma once

#include <cstddef>

namespace pages {

// ---- ATA IDENTIFY DEVICE: 256 little-endian words ----
constexpr size_t IDENTIFY_SIZE = 512;
constexpr size_t IdentifyWordAt(size_t word) { return 2 * word; }

constexpr size_t ATA_SERIAL_AT = IdentifyWordAt(10);
constexpr size_t ATA_SERIAL_SIZE = 20;
constexpr size_t ATA_FIRMWARE_AT = IdentifyWordAt(23);
constexpr size_t ATA_FIRMWARE_SIZE = 8;
constexpr size_t ATA_MODEL_AT = IdentifyWordAt(27);
constexpr size_t ATA_MODEL_SIZE = 40;
// Words 129-159, the vendor's own text.
constexpr size_t ATA_VENDOR_TEXT_AT = IdentifyWordAt(129);
constexpr size_t ATA_VENDOR_TEXT_SIZE = 62;

static_assert(ATA_SERIAL_AT == 20 && ATA_FIRMWARE_AT == 46 && ATA_MODEL_AT == 54);
static_assert(ATA_SERIAL_AT + ATA_SERIAL_SIZE <= ATA_FIRMWARE_AT);
static_assert(ATA_FIRMWARE_AT + ATA_FIRMWARE_SIZE == ATA_MODEL_AT);
static_assert(ATA_MODEL_AT + ATA_MODEL_SIZE == IdentifyWordAt(47));
static_assert(ATA_VENDOR_TEXT_AT == 258 &&
              ATA_VENDOR_TEXT_AT + ATA_VENDOR_TEXT_SIZE == IdentifyWordAt(160));

// ---- NVMe Identify Controller: 4096 bytes ----
constexpr size_t NVME_IDENTIFY_SIZE = 4096;
constexpr size_t NVME_VENDOR_ID_AT = 0;  // PCI vendor id, 2 bytes
constexpr size_t NVME_SERIAL_AT = 4;
constexpr size_t NVME_SERIAL_SIZE = 20;
constexpr size_t NVME_MODEL_AT = 24;
constexpr size_t NVME_MODEL_SIZE = 40;
constexpr size_t NVME_FIRMWARE_AT = 64;
constexpr size_t NVME_FIRMWARE_SIZE = 8;
// Version: tertiary, minor, then the major number in two bytes.
constexpr size_t NVME_VERSION_MINOR_AT = 81;
constexpr size_t NVME_VERSION_MAJOR_AT = 82;

static_assert(NVME_SERIAL_AT + NVME_SERIAL_SIZE == NVME_MODEL_AT);
static_assert(NVME_MODEL_AT + NVME_MODEL_SIZE == NVME_FIRMWARE_AT);
static_assert(NVME_FIRMWARE_AT + NVME_FIRMWARE_SIZE <= NVME_VERSION_MINOR_AT - 1);
static_assert(NVME_VERSION_MAJOR_AT == NVME_VERSION_MINOR_AT + 1);

}  // namespace pages
