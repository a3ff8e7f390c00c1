#!/usr/bin/env python3
"""Writes a history folder for the demo machine, as `stavrion watch` would
have written it over a year: for every disk that reports a temperature, a
reading every 10 minutes with a daily cycle (warm in working hours, cool at
night) ending at its current temperature; and for the disks that report
reallocated sectors (attribute 05) as a plain count, a count that rises over
the year, ever faster, to the count the disk reports now, as a failing
disk's does.

    scripts/demo-history.py REPORT.json ROOT [--end "YYYY/MM/DD hh:mm:ss"] [--crlf]

REPORT.json is `stavrion report --machine demo --json`; ROOT is the history
root (the disk folders go below it, named by each disk's model and serial).
The end defaults to the local time now. The window program's tests
(scripts/gui-test.py) and screenshots (scripts/screenshots.py) use it.
"""
import datetime
import json
import math
import os
import sys

PERIOD = 600          # seconds between records
DAYS = 365


def folder_name(model_serial):
    """The disk's folder, as CHistoryLog::DiskFolderName names it."""
    bad = any(ord(c) < 0x20 or ord(c) == 0x7F or c in '\\/:*?"<>|' for c in model_serial)
    stem = model_serial.split(".")[0].rstrip(" ").upper()
    device = stem in ("CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$") or (
        len(stem) == 4 and stem[:3] in ("COM", "LPT") and stem[3].isdigit())
    if bad or device or set(model_serial) <= {".", " "}:
        return "Disk-" + "".join("%02X" % b for b in model_serial.encode("utf-8"))
    return model_serial


def raw_bytes(attribute):
    raw = attribute.get("RawValue") or []
    if isinstance(raw, str):
        raw = [int(raw[i:i + 2], 16) for i in range(0, len(raw), 2)]
    return raw + [0] * (6 - len(raw))


def disks_of(report):
    disks = report.get("Disks") if isinstance(report, dict) else report
    return disks or []


def write(root, report, end, newline="\n"):
    """Writes the files; returns {model_serial: {"Temperature": last, "05": last}}."""
    first = end - datetime.timedelta(days=DAYS)
    count = int((end - first).total_seconds()) // PERIOD
    stamps = [(end - datetime.timedelta(seconds=PERIOD * (count - i))) for i in range(count + 1)]
    written = {}
    for disk in disks_of(report):
        model_serial = disk.get("ModelSerial") or ""
        if not model_serial:
            continue
        folder = os.path.join(root, folder_name(model_serial))
        os.makedirs(folder, exist_ok=True)
        last = {}
        temperature = disk.get("Temperature", -127)
        if isinstance(temperature, int) and temperature != -127:
            def cycle(t):
                # Warmest in the afternoon, coolest before dawn; warmer in summer.
                hour = t.hour + t.minute / 60.0
                day = t.timetuple().tm_yday
                return (4.0 * math.sin((hour - 9.0) / 24.0 * 2.0 * math.pi) +
                        2.0 * math.sin((day - 110) / 365.0 * 2.0 * math.pi))
            lines = []
            for i, t in enumerate(stamps):
                # The cycle around the disk's temperature now, which is the last reading.
                value = int(round(temperature + cycle(t) - cycle(end) + 0.4 * math.sin(i * 0.7)))
                if i == len(stamps) - 1:
                    value = temperature
                lines.append("%s,%d" % (t.strftime("%Y/%m/%d %H:%M:%S"), value))
            with open(os.path.join(folder, "Temperature.csv"), "w", newline="") as f:
                f.write(newline.join(lines) + newline)
            last["Temperature"] = temperature
        realloc = [a for a in disk.get("Attribute", []) if a.get("Id") == 5]
        if realloc and not disk.get("IsNvme"):
            raw = raw_bytes(realloc[0])
            now = raw[0] | (raw[1] << 8)
            # A plain count (nothing in the upper raw bytes) rises; a value
            # its maker encodes otherwise stays as it is.
            rising = now > 0 and not any(raw[2:6])
            lines = []
            for i, t in enumerate(stamps):
                share = (i / float(len(stamps) - 1)) ** 3 if rising else 1.0
                lines.append("%s,%d" % (t.strftime("%Y/%m/%d %H:%M:%S"), int(now * share)))
            for name in ("05.csv", "ReallocatedSectorsCount.csv"):
                with open(os.path.join(folder, name), "w", newline="") as f:
                    f.write(newline.join(lines) + newline)
            last["05" if rising else "05 as it is"] = now
        written[model_serial] = last
    return written


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    end = datetime.datetime.now().replace(microsecond=0)
    if "--end" in argv:
        end = datetime.datetime.strptime(argv[argv.index("--end") + 1], "%Y/%m/%d %H:%M:%S")
    with open(argv[1], encoding="utf-8") as f:
        report = json.load(f)
    written = write(argv[2], report, end, "\r\n" if "--crlf" in argv else "\n")
    for model_serial, last in written.items():
        print("%s: %s" % (model_serial, ", ".join("%s %s" % kv for kv in last.items()) or "nothing"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
