#!/usr/bin/env python3
"""Writes the sectors and NVMe pages of the demo machine's USB, CSMI, Silicon
Image and NVMe disks into fixtures/machines/demo/ (the folders named below). Their manifest
sections are written by hand in machine.ini.

Run through scripts/regen.sh demo, which runs this script and then
scripts/regenerate_demo_machine.py.
"""
import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEMO = os.path.join(ROOT, "fixtures", "machines", "demo")


def ata_string(text, words):
    raw = text.ljust(words * 2).encode("ascii")[: words * 2]
    out = bytearray()
    for i in range(0, len(raw), 2):
        out += bytes([raw[i + 1], raw[i]])
    return out


def with_checksum(sector):
    sector[511] = (-sum(sector[:511])) & 0xFF
    return bytes(sector)


def ata_identify(model, serial, firmware, sectors, rotation):
    w = [0] * 256
    w[0] = 0x0040
    w[1], w[3], w[6] = 16383, 16, 63
    w[47] = 0x8010
    w[49] = 0x0F00
    w[53] = 0x0007
    lba28 = min(sectors, 0x0FFFFFFF)
    w[60], w[61] = lba28 & 0xFFFF, lba28 >> 16
    w[63], w[64] = 0x0407, 0x0003
    w[76] = 0x050E
    w[80] = 0x03F0
    w[82], w[83], w[84] = 0x746B, 0x7D69, 0x6163
    w[85], w[86], w[87] = 0x7469, 0xBC49, 0x6163
    w[88] = 0x407F
    for i in range(4):
        w[100 + i] = (sectors >> (16 * i)) & 0xFFFF
    w[217] = rotation
    w[255] = 0x00A5
    sector = bytearray(struct.pack("<256H", *w))
    sector[20:40] = ata_string(serial, 10)
    sector[46:54] = ata_string(firmware, 4)
    sector[54:94] = ata_string(model, 20)
    return with_checksum(sector)


def smart_sector(entries):
    sector = bytearray(512)
    sector[0:2] = struct.pack("<H", 0x0010)
    for k, e in enumerate(entries):
        at = 2 + 12 * k
        if len(e) == 5:
            ident, flags, cur, worst, raw = e
            sector[at : at + 12] = (
                struct.pack("<BHBB", ident, flags, cur, worst) + raw.to_bytes(6, "little") + b"\0"
            )
        else:
            ident, thr = e
            sector[at] = ident
            sector[at + 1] = thr
    if len(entries[0]) == 5:
        sector[362] = 0x82
        sector[368:370] = struct.pack("<H", 0x0003)
        sector[370] = 0x01
    return with_checksum(sector)


def hdd_smart(hours, cycles, temperature):
    data = [
        (0x01, 0x000F, 100, 100, 0),
        (0x03, 0x0003, 97, 97, 0),
        (0x04, 0x0032, 100, 100, cycles),
        (0x05, 0x0033, 100, 100, 0),
        (0x09, 0x0032, 95, 95, hours),
        (0x0C, 0x0032, 100, 100, cycles),
        (0xC2, 0x0022, temperature, 50, temperature),
        (0xC5, 0x0012, 100, 100, 0),
        (0xC6, 0x0010, 100, 100, 0),
    ]
    thresholds = [(0x01, 6), (0x03, 0), (0x04, 20), (0x05, 36), (0x09, 0), (0x0C, 20), (0xC2, 0),
                  (0xC5, 0), (0xC6, 0)]
    return smart_sector(data), smart_sector(thresholds)


def nvme_identify(model, serial, firmware, vendor, major, minor):
    page = bytearray(4096)
    page[0:2] = struct.pack("<H", vendor)
    page[2:4] = struct.pack("<H", vendor)
    page[4:24] = serial.ljust(20).encode("ascii")
    page[24:64] = model.ljust(40).encode("ascii")
    page[64:72] = firmware.ljust(8).encode("ascii")
    page[80:84] = struct.pack("<I", (major << 16) | (minor << 8))
    page[512] = 0x44  # queue entry sizes, so the page is not mistaken for blank
    return bytes(page)


def nvme_health(kelvin, spare, used, units_read, units_written, cycles, hours, warning=0):
    page = bytearray(512)
    page[0] = warning
    page[1:3] = struct.pack("<H", kelvin)
    page[3] = spare
    page[4] = 10
    page[5] = used
    page[32:48] = units_read.to_bytes(16, "little")
    page[48:64] = units_written.to_bytes(16, "little")
    page[112:128] = cycles.to_bytes(16, "little")
    page[128:144] = hours.to_bytes(16, "little")
    page[144:160] = (7).to_bytes(16, "little")  # unsafe shutdowns
    page[200:202] = struct.pack("<H", max(kelvin - 2, 0))
    return bytes(page)


def write(folder, name, data):
    path = os.path.join(DEMO, folder, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# USB enclosures, one per bridge form: (folder, model, serial)
USB_DISKS = [
    ("usb-sat", "SIMULATED USB HDD SAT", "SIMUSB0SAT01"),
    ("usb-sunplus", "SIMULATED USB HDD SUNPLUS", "SIMUSB0SPL01"),
    ("usb-iodata", "SIMULATED USB HDD IODATA", "SIMUSB0IOD01"),
    ("usb-logitec1", "SIMULATED USB HDD LOGITEC1", "SIMUSB0LG101"),
    ("usb-logitec2", "SIMULATED USB HDD LOGITEC2", "SIMUSB0LG201"),
    ("usb-jmicron", "SIMULATED USB HDD JMICRON", "SIMUSB0JMC01"),
    ("usb-cypress", "SIMULATED USB HDD CYPRESS", "SIMUSB0CYP01"),
    ("usb-prolific", "SIMULATED USB HDD PROLIFIC", "SIMUSB0PRO01"),
]

# Disks behind the CSMI RAID controller, and one on a Silicon Image card:
# (folder, model, serial)
CSMI_DISKS = [
    ("raid-member", "SIMULATED RAID HDD 2000", "SIMRAID00001"),
    ("raid-visible", "SIMULATED RAID HDD 2000", "SIMRAID00002"),
    ("sil-hdd", "SIMULATED SIL HDD 320", "SIMSIL000001"),
]

# NVMe disks, one per path: (folder, model, serial, firmware, vendor, version, health)
NVME_DISKS = [
    ("nvme-query", "Samsung SSD 970 EVO Plus 1TB", "S4EWNX0N812345", "2B2QEXM7", 0x144D, (1, 3),
     nvme_health(313, 100, 2, 3_000_000, 2_500_000, 412, 1873)),
    ("nvme-samsung", "Samsung SSD 960 PRO 512GB", "S3EWNX0J654321", "2B6QCXP7", 0x144D, (1, 2),
     nvme_health(318, 100, 9, 40_000_000, 35_000_000, 1520, 14210)),
    ("nvme-miniport", "INTEL SSDPEKNW512G8", "BTNH91234567512A", "002C", 0x8086, (1, 3),
     nvme_health(305, 100, 1, 900_000, 1_200_000, 96, 530)),
    ("nvme-jmicron", "WDC WDS500G2B0C-00PXH0", "2009A0123456", "211070WD", 0x15B7, (1, 4),
     nvme_health(0, 100, 0, 150_000, 90_000, 35, 120)),
    ("nvme-asmedia", "ADATA SX8200PNP", "2J1420012345", "42B4SAAA", 0x1CC1, (1, 3),
     nvme_health(322, 100, 4, 5_000_000, 4_200_000, 780, 4020, warning=0x04)),
]


def main():
    for i, (folder, model, serial) in enumerate(USB_DISKS):
        write(folder, "identify.bin", ata_identify(model, serial, "USB1.%02d" % i, 976773168, 5400))
        data, thresholds = hdd_smart(1200 + 37 * i, 310 + i, 33 + i)
        write(folder, "smart_data.bin", data)
        write(folder, "smart_thresholds.bin", thresholds)
    for i, (folder, model, serial) in enumerate(CSMI_DISKS):
        write(folder, "identify.bin", ata_identify(model, serial, "RAID1.00", 3907029168, 7200))
        data, thresholds = hdd_smart(8760 + i, 120 + i, 36 + i)
        write(folder, "smart_data.bin", data)
        write(folder, "smart_thresholds.bin", thresholds)
    for folder, model, serial, firmware, vendor, (major, minor), health in NVME_DISKS:
        write(folder, "nvme_identify.bin", nvme_identify(model, serial, firmware, vendor, major, minor))
        write(folder, "nvme_health.bin", health)


if __name__ == "__main__":
    main()
