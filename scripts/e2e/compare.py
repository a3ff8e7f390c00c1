#!/usr/bin/env python3
"""Compares what stavrion and smartctl read from the same emulated disks.

Input: the guest's output (sections "=====NAME=====" written by the guest's
init). Prints one line per check and the timing figures; exits 1 when any
check fails.
"""
import json
import re
import statistics
import sys


def sections(text):
    out = {}
    name = None
    for line in text.splitlines():
        m = re.fullmatch(r"=====(.*)=====", line)
        if m:
            name = m.group(1)
            out[name] = []
        elif name is not None:
            out[name].append(line)
    return {k: "\n".join(v) for k, v in out.items()}


class Checks:
    def __init__(self):
        self.failed = 0
        self.passed = 0

    def eq(self, what, ours, theirs):
        if ours == theirs:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL %s: stavrion %r, smartctl %r" % (what, ours, theirs))

    def true(self, what, ok, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL %s %s" % (what, detail))


def raw(hex_text):
    """RawValue as the report writes it: bytes in hex, least significant first."""
    b = bytes.fromhex(hex_text)
    return int.from_bytes(b, "little")


def wmi_size_mb(size_bytes):
    # Discovery's size for a disk without an ATA sector count: the system's
    # geometry size (whole cylinders of 255 x 63 x 512 bytes) in MiB, less 49.
    cylinder = 255 * 63 * 512
    return (size_bytes // cylinder) * cylinder // 1048576 - 49


NVME_ROWS = [
    (1, "critical_warning"), (2, "temperature"), (3, "available_spare"),
    (4, "available_spare_threshold"), (5, "percentage_used"), (6, "data_units_read"),
    (7, "data_units_written"), (8, "host_reads"), (9, "host_writes"),
    (10, "controller_busy_time"), (11, "power_cycles"), (12, "power_on_hours"),
    (13, "unsafe_shutdowns"), (14, "media_errors"), (15, "num_err_log_entries"),
    (16, "warning_temp_time"), (17, "critical_comp_time"),
]


def health(c, name, rec, sm):
    """smartctl's overall verdict against DiskStatus (1 good, 2 caution, 3 bad)."""
    passed = sm.get("smart_status", {}).get("passed")
    status = rec["DiskStatus"]
    # A disk no controller-naming row matches (SupportLevel 0) is not rated:
    # "unknown" is stavrion's honest verdict there. A disk that says it is
    # failing must be bad whatever its level.
    unrated = rec.get("SupportLevel") == 0 and status == 0
    if passed is True:
        c.true(name + " health", status in (1, 2) or unrated,
               "stavrion DiskStatus %d (SupportLevel %s), smartctl passed"
               % (status, rec.get("SupportLevel")))
    elif passed is False:
        c.true(name + " health", status == 3, "stavrion DiskStatus %d, smartctl failed" % status)


def compare_ata(c, name, rec, sm):
    c.eq(name + " model", rec["Model"], sm["model_name"])
    c.eq(name + " serial", rec["SerialNumber"], sm["serial_number"])
    c.eq(name + " firmware", rec["FirmwareRev"], sm["firmware_version"])
    c.eq(name + " sectors", rec["NumberOfSectors"], sm["user_capacity"]["blocks"])
    attrs = {a["Id"]: a for a in rec["Attribute"]}
    thresholds = {t["Id"]: t for t in rec["Threshold"]}
    table = sm.get("ata_smart_attributes", {}).get("table", [])
    c.true(name + " attributes", len(table) > 0, "(smartctl read none)")
    c.eq(name + " attribute count", len(attrs), len(table))
    for row in table:
        i = row["id"]
        a = attrs.get(i)
        c.true("%s attribute %d present" % (name, i), a is not None)
        if a is None:
            continue
        c.eq("%s attribute %d current" % (name, i), a["CurrentValue"], row["value"])
        c.eq("%s attribute %d worst" % (name, i), a["WorstValue"], row["worst"])
        c.eq("%s attribute %d threshold" % (name, i),
             thresholds.get(i, {}).get("ThresholdValue"), row["thresh"])
        c.eq("%s attribute %d raw" % (name, i), raw(a["RawValue"]), row["raw"]["value"])
    if "temperature" in sm:
        c.eq(name + " temperature", rec["Temperature"], sm["temperature"]["current"])
    if "power_on_time" in sm:
        c.eq(name + " power-on hours", rec["DetectedPowerOnHours"], sm["power_on_time"]["hours"])
    health(c, name, rec, sm)


# Counters the test's own commands move between the two programs' reads.
LIVE_COUNTERS = {"data_units_read", "host_reads"}


def compare_nvme(c, name, rec, sm):
    c.eq(name + " model", rec["Model"], sm["model_name"])
    c.eq(name + " serial", rec["SerialNumber"], sm["serial_number"])
    c.eq(name + " firmware", rec["FirmwareRev"], sm["firmware_version"])
    c.eq(name + " capacity", rec["TotalDiskSize"], wmi_size_mb(sm["user_capacity"]["bytes"]))
    log = sm.get("nvme_smart_health_information_log", {})
    c.true(name + " health log", bool(log), "(smartctl read none)")
    attrs = {a["Id"]: a for a in rec["Attribute"]}
    for row, field in NVME_ROWS:
        if field not in log:
            continue
        value = log[field]
        if field == "temperature":
            value += 273  # smartctl shows Celsius, the log holds Kelvin
        a = attrs.get(row)
        c.true("%s %s present" % (name, field), a is not None)
        if a is None:
            continue
        ours = raw(a["RawValue"])
        if field in LIVE_COUNTERS:
            # smartctl reads after stavrion: the reads in between (stavrion's
            # own, the timing runs come later) may have moved the counter on.
            c.true("%s %s" % (name, field), ours <= value <= ours + 16,
                   "stavrion %d, smartctl %d" % (ours, value))
        else:
            c.eq("%s %s" % (name, field), ours, value)
    c.eq(name + " temperature", rec["Temperature"], log.get("temperature"))
    c.eq(name + " power-on hours", rec["DetectedPowerOnHours"], log.get("power_on_hours"))
    health(c, name, rec, sm)
    if log.get("critical_warning"):
        c.eq(name + " critical warning makes it bad", rec["DiskStatus"], 3)


def main():
    text = open(sys.argv[1], encoding="utf-8", errors="replace").read()
    s = sections(text)
    c = Checks()
    if "END" not in s:
        print("FAIL the guest did not finish")
        print(text[-3000:])
        return 1
    blocks = s.get("BLOCK", "").split()
    try:
        report = json.loads(s.get("STAVRION-JSON", ""))
        records = report["Disks"]
        unread = report["UnreadDisks"]
    except (ValueError, KeyError, TypeError) as e:
        print("FAIL stavrion report --json is not the report's JSON: %s" % e)
        print(s.get("STAVRION-JSON", "")[:2000])
        return 1
    by_path = {r.get("DevicePath"): r for r in records}
    # As root in the guest nothing is refused: disks read, status 0.
    exits = [k.split()[1] for k in s if k.startswith("STAVRION-EXIT ")]
    c.eq("stavrion report exit status", exits[0] if exits else None, "0")
    unread_by_path = {u.get("DevicePath"): u for u in unread}
    for name in blocks:
        sm_text = s.get("SMARTCTL " + name)
        sm = json.JSONDecoder().raw_decode(sm_text.strip())[0] if sm_text else {}
        rec = by_path.get("/dev/" + name)
        protocol = sm.get("device", {}).get("protocol")
        usb = name.startswith("sd") and protocol != "ATA"
        if usb:
            # The USB disk answers no ATA pass-through: listed among the
            # disks without S.M.A.R.T., or admitted with no attributes.
            u = unread_by_path.get("/dev/" + name)
            c.true(name + " listed", rec is not None or u is not None,
                   "(USB disk missing from the report)")
            if rec is not None:
                c.eq(name + " has no S.M.A.R.T.", rec["AttributeCount"], 0)
            if u is not None:
                c.eq(name + " unread because it answers no command", u["Cause"], "NoSmartCommand")
            continue
        c.true(name + " listed", rec is not None, "(missing from the report)")
        if rec is None:
            continue
        if name.startswith("nvme"):
            compare_nvme(c, name, rec, sm)
        else:
            compare_ata(c, name, rec, sm)

    times = {}
    for line in text.splitlines():
        m = re.fullmatch(r"TIME (\w+) (\d+)", line)
        if m:
            times.setdefault(m.group(1), []).append(int(m.group(2)) / 1e6)
    if "stavrion" in times and "smartctl" in times:
        ours = statistics.median(times["stavrion"])
        theirs = statistics.median(times["smartctl"])
        print("timing (ms, median of %d): stavrion report %.1f, smartctl -i -A -H %.1f, "
              "ratio %.2f" % (len(times["stavrion"]), ours, theirs, ours / theirs))
        print("  stavrion: " + " ".join("%.1f" % t for t in times["stavrion"]))
        print("  smartctl: " + " ".join("%.1f" % t for t in times["smartctl"]))
    print("%d passed, %d failed" % (c.passed, c.failed))
    return 1 if c.failed else 0


if __name__ == "__main__":
    sys.exit(main())
