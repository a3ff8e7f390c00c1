#!/usr/bin/env python3
"""Rebuilds the sectors of the built-in demo machine.

Writes the synthetic sectors of fixtures/machines/demo/ and copies the real
ones from fixtures/real-ata/ beside them. The build embeds every file of the
folder into the program (cmake/EmbedFiles.cmake), so `stavrion --machine demo`
works without the source tree.

Run through scripts/regen.sh demo (or from anywhere:
python3 scripts/regenerate_demo_machine.py).
The machine.ini of the demo is written by hand; this script never touches it.
"""
import os
import shutil
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEMO = os.path.join(ROOT, "fixtures", "machines", "demo")
REAL = os.path.join(ROOT, "fixtures", "real-ata")

# folder in the demo -> folder of real sectors
REAL_DISKS = {
    "intel-ssd": "INTEL_SSDSA2CW120G3--4PC10302",
    "samsung-hdd": "SAMSUNG_HD501LJ--CR100-12",
    "seagate-laptop": "ST9100821AS--3.CME",
    "mccoe-ssd": "MCCOE64GEMPP--2.9.09",
    "wdc-hdd": "WDC_WD5000AAKS--00TMA0-12.01C01",
}


def ata_string(text, words):
    """IDENTIFY text: blank-padded, each pair of characters swapped."""
    raw = text.ljust(words * 2).encode("ascii")[: words * 2]
    out = bytearray()
    for i in range(0, len(raw), 2):
        out += bytes([raw[i + 1], raw[i]])
    return out


def with_checksum(sector):
    """Byte 511 makes the 512 bytes sum to 0 modulo 256."""
    sector[511] = (-sum(sector[:511])) & 0xFF
    return bytes(sector)


def synthetic_identify(model, serial, firmware, sectors, rotation):
    w = [0] * 256
    w[0] = 0x0040
    w[1], w[3], w[6] = 16383, 16, 63
    w[47] = 0x8010
    w[49] = 0x0F00
    w[53] = 0x0007
    lba28 = min(sectors, 0x0FFFFFFF)
    w[60], w[61] = lba28 & 0xFFFF, lba28 >> 16
    w[63], w[64] = 0x0407, 0x0003
    w[76] = 0x050E  # SATA 1.5/3.0/6.0 Gb/s, NCQ
    w[80] = 0x03F0  # ATA8-ACS and ACS-2
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
    """entries: (id, flags, current, worst, raw) for data; (id, threshold) for thresholds."""
    sector = bytearray(512)
    sector[0:2] = struct.pack("<H", 0x0010)
    for k, e in enumerate(entries):
        at = 2 + 12 * k
        if len(e) == 5:
            ident, flags, cur, worst, raw = e
            sector[at : at + 12] = struct.pack("<BHBB", ident, flags, cur, worst) + raw.to_bytes(
                6, "little"
            ) + b"\0"
        else:
            ident, thr = e
            sector[at] = ident
            sector[at + 1] = thr
    if len(entries[0]) == 5:
        sector[362] = 0x82  # off-line data collection completed
        sector[368:370] = struct.pack("<H", 0x0003)
        sector[370] = 0x01
    return with_checksum(sector)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_sectors():
    for folder, real in REAL_DISKS.items():
        for name in ("identify.bin", "smart_data.bin", "smart_thresholds.bin"):
            os.makedirs(os.path.join(DEMO, folder), exist_ok=True)
            shutil.copyfile(os.path.join(REAL, real, name), os.path.join(DEMO, folder, name))

    failing = os.path.join(DEMO, "failing-hdd")
    write(
        os.path.join(failing, "identify.bin"),
        synthetic_identify("SIMULATED HDD 1000", "SIM0FAIL0001", "SIM1.00", 1953525168, 7200),
    )
    data = [
        (0x01, 0x000F, 100, 100, 0),
        (0x05, 0x0033, 3, 3, 1850),  # reallocated sectors: at or below threshold 36
        (0x09, 0x0032, 88, 88, 10520),
        (0x0C, 0x0032, 99, 99, 1234),
        (0xC2, 0x0022, 38, 45, 38),
        (0xC5, 0x0012, 100, 100, 12),
        (0xC6, 0x0010, 100, 100, 3),
    ]
    write(os.path.join(failing, "smart_data.bin"), smart_sector(data))
    # A second read one hour later: the queue of the manifest hands out both.
    later = [e if e[0] != 0x09 else (0x09, 0x0032, 88, 88, 10521) for e in data]
    write(os.path.join(failing, "smart_data_later.bin"), smart_sector(later))
    write(
        os.path.join(failing, "smart_thresholds.bin"),
        smart_sector([(0x01, 6), (0x05, 36), (0x09, 0), (0x0C, 0), (0xC2, 0), (0xC5, 0), (0xC6, 0)]),
    )


def smbios_structure(kind, handle, formatted, strings):
    """One SMBIOS structure: header, formatted part, string set."""
    body = struct.pack("<BBH", kind, 4 + len(formatted), handle) + formatted
    text = b"".join(s.encode("ascii") + b"\0" for s in strings)
    return body + (text if text else b"\0") + b"\0"


def memory_device(handle, size_mb, speed, locator, bank, maker, serial, part):
    """Memory Device (type 17) of SMBIOS 3.0: strings 1 locator, 2 bank,
    3 manufacturer, 4 serial, 5 asset tag, 6 part number."""
    if size_mb == 0:
        strings = [locator, bank]
        formatted = struct.pack(
            "<HHHHHBBBBBHHBBBBBIHHHH",
            0x1000, 0xFFFE, 0, 0, 0, 0x0D, 0, 1, 2, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
        return smbios_structure(17, handle, formatted, strings)
    strings = [locator, bank, maker, serial, "None", part]
    formatted = struct.pack(
        "<HHHHHBBBBBHHBBBBBIHHHH",
        0x1000, 0xFFFE, 64, 64, size_mb, 0x0D, 0, 1, 2, 0x1A, 0x0080, speed, 3, 4, 5, 6, 1,
        0, speed, 1200, 1200, 1200)
    return smbios_structure(17, handle, formatted, strings)


def make_smbios():
    """The demo's SMBIOS table (version 3.0): BIOS, board, two of four
    slots filled, one with a module of the maker's own part numbering."""
    table = smbios_structure(
        0, 0x0000, struct.pack("<BBHBBQHBBBB", 1, 2, 0xE800, 3, 0x0F, 0x0B, 0, 1, 40, 1, 40),
        ["Simulated Firmware Inc.", "SIM1.40", "01/15/2026"])
    table += smbios_structure(
        2, 0x0002, struct.pack("<BBBBBBBHBB", 1, 2, 3, 4, 0, 0x09, 0, 0x0003, 0x0A, 0),
        ["Simulated Boards", "SIM-Z790", "1.0", "SIMBOARD0001"])
    table += memory_device(0x0040, 8192, 2400, "ChannelA-DIMM0", "BANK 0", "Tessaly",
                           "0000A1B2", "D4S8GXMPG0C")
    table += memory_device(0x0041, 0, 0, "ChannelA-DIMM1", "BANK 1", "", "", "")
    table += memory_device(0x0042, 16384, 3200, "ChannelB-DIMM0", "BANK 2", "Samsung",
                           "40C2E5F7", "M471A2K43DB1-CWE")
    table += memory_device(0x0043, 0, 0, "ChannelB-DIMM1", "BANK 3", "", "", "")
    table += smbios_structure(127, 0xFEFF, b"", [])
    write(os.path.join(DEMO, "smbios.bin"), table)


if __name__ == "__main__":
    make_sectors()
    make_smbios()
