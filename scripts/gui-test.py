#!/usr/bin/env python3
"""The window program under Wine on a virtual X display.

Starts StavrionGui.exe on the demo machine inside a Wine virtual desktop on
Xvfb, drives it with GuiReader.exe (keys, clicks, the disk selector) and
checks what its controls say against `stavrion report` of the same machine:
every disk's model, serial number, firmware, status, life and temperature;
F5 and F6; the disk buttons and the page buttons; the S.M.A.R.T. detail pane
and its rows; the graph pane on a year of history written for the demo
machine (scripts/demo-history.py): the latest readings, the reduction to at
most 1000 points, the live view, the item coming back after it; Escape in
the panes and leaving the program; German and Japanese texts; 150 % and
200 % zoom without overlapping controls; in resident mode the
notification-area icons with their tooltips as the shell shows them, an
alarm's balloon, the status registry tree, the history files a refresh
writes, and a start hidden until the main icon is clicked; the settings
pane: its pages, alarm fields with hostile values, the colour palette, a test
mail refused by a local server, Save and the file it writes, its values read
again after a tray-menu change, a language change and clearing one disk's
history.

    scripts/gui-test.py [BUILD_DIR]        (default build/windows)
    GUI_TEST_ONLY=settings scripts/gui-test.py   (the settings pane alone)

Uses its own Wine prefix (fonts and font substitutes set once, ~15 s) under
~/.cache/stavrion-wine-gui-<checkout>, or STAVRION_GUI_WINEPREFIX.
"""
import datetime
import hashlib
import http.server
import importlib.util
import json
import os
import re
import shutil
import subprocess
import sys
import socket
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/windows"))
FAILURES = []
CHECKS = 0

# Control ids (resources/resource.h).
IDC = dict(REFRESH=1026, RESCAN=1027, SMART_VIEW=1028, GRAPH_VIEW=1029, VERSION=1030, NOT_YET=1031,
           PREVIOUS=1040, NEXT=1041, DISK_FIRST=1050, TITLE=1100, STATUS=1101, LIFE=1102,
           TEMPERATURE=1103, REMAINING=1104, READ_LABEL=1114, FIELD_LABEL=1200, FIELD_VALUE=1300, BACK=1401,
           READ_RATE=1116, WRITE_RATE=1117, TOTAL_RATE=1118, READ_PERCENT=1119, WRITE_PERCENT=1120,
           PERFORMANCE_VIEW=1032, PERFORMANCE_CAPTION=1470, PERFORMANCE_TEXT=1480,
           MEMORY_SLOT=1420, MEMORY_USED=1423, MEMORY_LABEL=1430, MEMORY_VALUE=1450,
           GRAPH_DISK=1500, GRAPH_ITEM=1501, GRAPH_INTERVAL=1502, GRAPH_CHART=1503, GRAPH_BACK=1504,
           BENCH_DRIVE=1600, BENCH_TYPE=1601, BENCH_SIZE=1602, BENCH_LOOP=1603, BENCH_START=1620,
           BENCH_STOP=1621, BENCH_SAVE=1623, BENCH_STATUS=1630, BENCH_RESULT=1650,
           BENCH_HISTORY=1700, ABOUT_BUTTON=1022, ABOUT_BACK=1901, ABOUT_VERSION=1902,
           ABOUT_DESCRIPTION=1903, ABOUT_COPYRIGHT=1904, ABOUT_SHORTCUTS=1905, ABOUT_BANNER=1906,
           ABOUT_BANNER_STATUS=1907,
           SETTINGS_VIEW=1800, SETTINGS_PAGE=1801, SETTINGS_SAVE=1805, SETTINGS_TEST_MAIL=1806,
           SETTINGS_CLEAR_LOGS=1807,
           SETTINGS_TITLE=1809, SETTINGS_CAPTION=1810, SETTINGS_COMBO=1820, SETTINGS_DISK=1831,
           SETTINGS_ALARM_CHECK=1834, SETTINGS_ALARM_EDIT=1837, SETTINGS_ALARM_SPIN=1840,
           SETTINGS_COLOUR=1846, SETTINGS_MAIL_EDIT=1856, SETTINGS_ABOUT=1870)
FIELDS = ["MODEL", "FIRMWARE", "SERIAL_NUMBER", "INTERFACE", "TRANSFER_MODE", "DRIVE_LETTER",
          "STANDARD", "CAPACITY", "POWER_ON_COUNT", "POWER_ON_HOURS"]


def check(ok, what):
    global CHECKS
    CHECKS += 1
    if not ok:
        FAILURES.append(what)
        print("FAIL:", what)


def prefix_dir():
    if os.environ.get("STAVRION_GUI_WINEPREFIX"):
        return os.environ["STAVRION_GUI_WINEPREFIX"]
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    # One prefix per checkout: two checkouts tested at once (CI beside a
    # developer's run) must not share a wineserver and a desktop.
    tag = hashlib.sha1(ROOT.encode("utf-8")).hexdigest()[:8]
    return os.path.join(cache, "stavrion-wine-gui-" + tag)


def wine_env(display=None):
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix_dir(), WINEARCH="win64", WINEDEBUG="-all",
               WINEDLLOVERRIDES="winealsa.drv,winepulse.drv=d;mscoree,mshtml=",
               WINE_NO_DESKTOP_INTEGRATION="1", STAVRION_WINEPREFIX=prefix_dir())
    if display:
        env["DISPLAY"] = display
    else:
        env.pop("DISPLAY", None)
    return env


def ensure_prefix():
    prefix = prefix_dir()
    marker = os.path.join(prefix, ".stavrion-gui-ready")
    if os.path.exists(marker):
        return
    env = wine_env()
    subprocess.run([os.path.join(ROOT, "scripts/wine-run.sh"), "--init"], env=env, check=True)
    # Debian's Wine does not look for its own fonts: copy them in.
    fonts = os.path.join(prefix, "drive_c/windows/Fonts")
    os.makedirs(fonts, exist_ok=True)
    for name in os.listdir("/usr/share/wine/fonts"):
        shutil.copy(os.path.join("/usr/share/wine/fonts", name), fonts)
    replacements = {"Segoe UI": "Tahoma"}
    # Japanese text through the faces Windows uses for it.
    for face in ["MS UI Gothic", "MS Gothic", "MS PGothic", "Meiryo", "Meiryo UI", "Yu Gothic",
                 "Yu Gothic UI", "SimSun", "Microsoft YaHei"]:
        replacements[face] = "WenQuanYi Micro Hei"
    reg = ["REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]"]
    reg += ['"%s"="%s"' % kv for kv in replacements.items()]
    # Tahoma and its bold face link to the Japanese font for the glyphs they
    # lack (Wine links only the regular face by default).
    link = "wqy-microhei.ttc,WenQuanYi Micro Hei"
    hex7 = ",".join("%02x,00" % ord(c) for c in link) + ",00,00,00,00"
    reg += ["", "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]"]
    reg += ['"%s"=hex(7):%s' % (face, hex7) for face in ["Tahoma", "Tahoma Bold"]]
    reg += ["", "[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]", '"ShowCrashDialog"=dword:00000000',
            "", "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]", '"Decorated"="Y"', ""]
    reg_file = os.path.join(prefix, "stavrion-gui.reg")
    with open(reg_file, "w") as f:
        f.write("\r\n".join(reg))
    subprocess.run(["wine", "regedit", "/S", reg_file], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env)
    open(marker, "w").close()


def set_dpi(dpi):
    env = wine_env()
    subprocess.run(["wine", "reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels",
                    "/t", "REG_DWORD", "/d", str(dpi), "/f"], env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)


class Display:
    def __enter__(self):
        for n in range(91, 140):
            if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists("/tmp/.X%d-lock" % n):
                self.name = ":%d" % n
                break
        self.proc = subprocess.Popen(["Xvfb", self.name, "-screen", "0", "1920x1280x24",
                                      "-nolisten", "tcp"], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists("/tmp/.X11-unix/X" + self.name[1:]):
                break
            time.sleep(0.05)
        return self

    def __exit__(self, *args):
        self.proc.terminate()
        self.proc.wait()


def stage(settings, sections=None):
    """A folder of its own with the program, the reader and the resources, and
    a settings file written before start (section "Setting" and, per-disk
    settings, any other `sections`)."""
    folder = tempfile.mkdtemp(prefix="stavrion-gui-")
    for exe in ["StavrionGui.exe", "GuiReader.exe", "stavrion.exe"]:
        os.symlink(os.path.join(BUILD, exe), os.path.join(folder, exe))
    shutil.copytree(os.path.join(BUILD, "TslResource"), os.path.join(folder, "TslResource"))
    lines = ["[Setting]"] + ["%s=%s" % kv for kv in settings.items()]
    for name, values in (sections or {}).items():
        lines += ["[%s]" % name] + ["%s=%s" % kv for kv in values.items()]
    with open(os.path.join(folder, "StavrionGui.ini"), "w") as f:
        f.write("\r\n".join(lines) + "\r\n")
    return folder


def run_reader(display, folder, steps):
    out = os.path.join(folder, "reader.txt")
    cmd = ["wine", "explorer", "/desktop=stavrion,1900x1260",
           "Z:" + os.path.join(folder, "GuiReader.exe").replace("/", "\\"),
           "--out", "Z:" + out.replace("/", "\\")] + steps
    start = time.time()
    subprocess.run(cmd, env=wine_env(display.name), timeout=180, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    took = time.time() - start
    text = open(out, encoding="utf-8", errors="replace").read() if os.path.exists(out) else ""
    return parse(text), took, text


def parse(text):
    """Blocks of output, one per step: {'step', 'ctl': {id: (...)}, 'rows', ...}."""
    blocks = []
    for line in text.splitlines():
        if line.startswith("# "):
            blocks.append({"step": line[2:], "ctl": {}, "rows": [], "lines": []})
            continue
        if not blocks:
            continue
        b = blocks[-1]
        b["lines"].append(line)
        if line.startswith("ctl "):
            parts = line.split(" ", 8)
            b["ctl"][int(parts[1])] = dict(cls=parts[2], x=int(parts[3]), y=int(parts[4]),
                                           w=int(parts[5]), h=int(parts[6]),
                                           enabled=parts[7] == "1",
                                           text=unescape(parts[8] if len(parts) > 8 else ""))
        elif line.startswith("row\t"):
            b["rows"].append([unescape(c) for c in line.split("\t")[1:]])
        elif line.startswith("head"):
            b["head"] = [unescape(c) for c in line.split("\t")[1:]]
    return blocks


def unescape(s):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r", "t": "\t"}.get(m.group(1), m.group(1)), s)


def report(folder):
    out = subprocess.run(["wine", os.path.join(folder, "stavrion.exe"), "report", "--machine",
                          "demo"], env=wine_env(), stdout=subprocess.PIPE, timeout=120).stdout
    disks = []
    for line in out.decode("utf-8", "replace").splitlines():
        m = re.match(r"^\((\d+)\) ", line)
        if m:
            disks.append({"attributes": []})
            continue
        m = re.match(r"^  ([A-Za-z -]+?)\s*: (.*)$", line)
        if m and disks:
            disks[-1][m.group(1)] = m.group(2)
            continue
        m = re.match(r"^  ([0-9A-F]{2})  ", line)
        if m and disks:
            disks[-1]["attributes"].append(m.group(1))
    return disks


def load_demo_history():
    module_spec = importlib.util.spec_from_file_location(
        "demohistory", os.path.join(ROOT, "scripts/demo-history.py"))
    module = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(module)
    return module


def history_root_name(folder):
    """The history root the program uses beside it: "Smart-" and the demo
    machine's first network adapter's address, as the report names it."""
    out = subprocess.run(["wine", os.path.join(folder, "stavrion.exe"), "report", "--machine",
                          "demo", "--system", "--json"], env=wine_env(), stdout=subprocess.PIPE,
                         timeout=120).stdout
    address = json.loads(out.decode("utf-8", "replace")).get("AdapterAddress")
    return "Smart-" + (address or "")


def stage_history(folder):
    """A year of history for the demo machine's disks in the folder where the
    program keeps it (its history root beside it), ending now. Returns the
    report and what each disk's files end with."""
    out = subprocess.run(["wine", os.path.join(folder, "stavrion.exe"), "report", "--machine",
                          "demo", "--json"], env=wine_env(), stdout=subprocess.PIPE,
                         timeout=120).stdout
    report = json.loads(out.decode("utf-8", "replace"))
    end = datetime.datetime.now().replace(microsecond=0)
    written = load_demo_history().write(os.path.join(folder, history_root_name(folder)), report,
                                        end, "\r\n")
    return report, written


def model_serials(folder):
    """Each demo disk's ModelSerial (its key in the per-disk settings)."""
    out = subprocess.run(["wine", os.path.join(folder, "stavrion.exe"), "report", "--machine",
                          "demo", "--json"], env=wine_env(), stdout=subprocess.PIPE, timeout=120).stdout
    found = []

    def walk(node):
        if isinstance(node, dict):
            if "ModelSerial" in node:
                found.append(node["ModelSerial"])
            for v in node.values():
                walk(v)
        elif isinstance(node, list):
            for v in node:
                walk(v)
    walk(json.loads(out.decode("utf-8", "replace")))
    return found


EVENT_SOURCE = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Vardex"


def tray_settings(resident_minimize, event_log="1"):
    return {"Language": "English", "ZoomType": "100", "Resident": "1",
            "ResidentMinimize": resident_minimize, "Gadget": "1", "SmartLog": "1",
            "EventLog": event_log}


def tray_run(display, disks):
    """Resident on the demo machine: the icons and tooltips as the shell shows
    them, a temperature alarm's balloon, the registry tree, the history."""
    folder = stage(tray_settings("1"))
    keys = model_serials(folder)
    check(len(keys) == len(disks), "a ModelSerial per disk (%d of %d)" % (len(keys), len(disks)))
    # The first disk's upper temperature limit below its temperature: its
    # first record raises the alarm.
    folder = stage(tray_settings("1"), {"AlarmTemperature": {keys[0]: "20"}} if keys else None)
    steps = ["start:--machine demo", "tray", "reg:software\\Tessaly\\Vardex",
             "reg:HKLM\\" + EVENT_SOURCE, "key:F5", "dump", "taskbarcreated", "tray",
             # The tray menu's command that hides the first disk's icon.
             "cmd:%d" % 0x9200, "tray", "close"]
    blocks, took, raw = run_reader(display, folder, steps)
    check(raw.strip().endswith("done ok"), "resident run ended: " + raw.strip()[-200:])
    trays = blocks_of(blocks, "tray")
    tray = trays[0]["lines"] if trays else []
    # After a TaskbarCreated notice the same icons, none twice.
    # (figures aside: the refresh between may read other temperatures).
    def icons(lines):
        return sorted(re.sub(r"-?\d+( \u00b0)?C", "T", unescape(l[4:]).split("\r\n")[0])
                      for l in lines if l.startswith("tip "))
    first = icons(tray)
    again = icons(trays[1]["lines"] if len(trays) > 1 else [])
    check(again == first and len(set(again)) == len(again),
          "the same icons after TaskbarCreated: %d, before %d" % (len(again), len(first)))
    hidden = icons(trays[2]["lines"] if len(trays) > 2 else [])
    want = [x for x in first if not x.startswith("(1) ")]
    check(hidden == want, "the menu hid the first disk's icon: %d icons, %d expected" %
          (len(hidden), len(want)))
    ini = open(os.path.join(folder, "StavrionGui.ini"), encoding="utf-8", errors="replace").read()
    check(keys and re.search(r"\[TemperatureIcon\]\s+%s=0" % re.escape(keys[0]), ini) is not None,
          "the hidden icon is remembered in [TemperatureIcon]")
    tips = [unescape(l[4:]) for l in tray if l.startswith("tip ")]
    for i, disk in enumerate(disks):
        t = re.match(r"^(-?\d+) ", disk.get("Temperature", ""))
        if not t:
            continue
        want = "(%d) %s [" % (i + 1, disk["Model"])
        mine = [x for x in tips if x.startswith(want)]
        check(len(mine) == 1, "one temperature icon for disk %d: %r" % (i + 1, mine))
        if mine:
            check(" %s \u00b0C" % t.group(1) in mine[0].split("\r\n")[0],
                  "disk %d icon shows %s °C: %r" % (i + 1, t.group(1), mine[0]))
    # The main icon: every disk in one of the three forms, 127 characters at most.
    main = [x for x in tips if x.startswith("(1)") and "(2)" in x]
    check(len(main) == 1, "the main icon's tooltip lists the disks: %r" % main)
    if main:
        check(len(main[0]) <= 127, "main tooltip fits 127 characters (%d)" % len(main[0]))
    balloons = [l for l in tray if l.startswith("balloon ") and l != "balloon none"]
    check(bool(balloons), "a balloon is shown: %r" % tray[-3:])
    if balloons and disks:
        title, _, text = unescape(balloons[0][8:]).partition("\t")
        # Wine's tooltip does not answer TTM_GETTITLE: the title reads empty there.
        check(title in ("", "Health status alarm", "Temperature"), "balloon title %r" % title)
        check(disks[0]["Model"] in text, "balloon names the disk: %r" % text)
    reg = [l for b in blocks_of(blocks, "reg:software\\Tessaly\\Vardex") for l in b["lines"]]
    values = {}
    for l in reg:
        if l.startswith("reg ") and "\t" in l:
            path, name, kind, value = l[4:].split("\t")
            values[(path.split("\\")[-1], name)] = (kind, value)
    check(values.get(("Vardex", "Version")) == ("DWORD", "1"), "registry Version: %r" % reg[:3])
    check(values.get(("Vardex", "DiskCount")) == ("DWORD", str(len(disks))), "registry DiskCount")
    check(values.get(("Vardex", "LastUpdate"), ("",))[0] == "DWORD", "registry LastUpdate")
    for i, key in enumerate(keys):
        check(values.get(("Vardex", "Disk%d" % i)) == ("SZ", key), "registry Disk%d" % i)
        sub = lambda name: values.get((key, name), (None, None))
        check(sub("Model") == ("SZ", disks[i]["Model"]), "registry %s Model" % key)
        check(sub("DiskStatus")[0] == "DWORD" and sub("DriveLetter")[0] == "SZ" and
              sub("DiskSize")[0] == "SZ" and sub("TemperatureClass")[1] in
              ("temperatureGood", "temperatureCaution", "temperatureBad", "temperatureUnknown"),
              "registry subkey of %s: %r" % (key, [k for k in values if k[0] == key]))
        t = sub("Temperature")[1] or ""
        check(t.endswith("\u00b0C"), "registry %s Temperature %r" % (key, t))
    # "EventLog" on: the alarms' event source names the program.
    source = [l.split("\t") for b in blocks_of(blocks, "reg:HKLM\\" + EVENT_SOURCE)
              for l in b["lines"] if "\t" in l]
    source = {f[1]: (f[2], f[3]) for f in source if len(f) == 4}
    check(source.get("TypesSupported") == ("DWORD", "7"), "event source types: %r" % (source,))
    check(source.get("EventMessageFile", ("", ""))[0] == "EXPAND_SZ" and
          source["EventMessageFile"][1].endswith("StavrionGui.exe"),
          "event source message file: %r" % (source.get("EventMessageFile"),))
    # The history of every disk, written at start and after F5.
    # "Smart-" and the first network adapter's address beside the program.
    roots = [d for d in os.listdir(folder) if d.startswith("Smart-")]
    name = history_root_name(folder)
    check(roots == [name] and name == "Smart-02-00-5E-10-00-01",
          "one history root named by the adapter's address: %r (%s)" % (roots, name))
    smart = os.path.join(folder, roots[0] if roots else "Smart-")
    written = [d for d in (os.listdir(smart) if os.path.isdir(smart) else [])
               if os.path.isdir(os.path.join(smart, d)) and os.listdir(os.path.join(smart, d))]
    check(len(written) == len(disks), "history folders with files: %d of %d (%r)" %
          (len(written), len(disks), written[:3]))
    if keys and keys[0] in written:
        check(os.path.exists(os.path.join(smart, keys[0], "Smart.ini")), "Smart.ini of disk 1")
        check(os.path.exists(os.path.join(smart, keys[0], "Temperature.csv")),
              "temperature history of disk 1: %r" % os.listdir(os.path.join(smart, keys[0])))
    # The tree goes with the program.
    gone = subprocess.run(["wine", "reg", "query", "HKCU\\software\\Tessaly\\Vardex"],
                          env=wine_env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(gone.returncode != 0, "the registry tree is deleted at exit")
    print("resident run: %.1f s, %d icon tooltips" % (took, len(tips)))

    # Resident without "ResidentMinimize": hidden until the main icon is clicked.
    folder = stage(tray_settings("0", event_log="0"))
    blocks, took, raw = run_reader(display, folder, ["starthidden:--machine demo", "trayclick",
                                                     "trayclick", "close"])
    gone = subprocess.run(["wine", "reg", "query", "HKLM\\" + EVENT_SOURCE], env=wine_env(),
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(gone.returncode != 0, "\"EventLog\" off removes the event source")
    visible = [l for b in blocks for l in b["lines"] if l.startswith("visible ")]
    check(visible == ["visible 0", "visible 1", "visible 0"],
          "hidden start, shown and hidden by the main icon: %r" % visible)
    check(any(l == "exit 0" for b in blocks_of(blocks, "close") for l in b["lines"]),
          "a resident program ends on a close request from outside")
    print("hidden resident run: %.1f s" % took)


def blocks_of(blocks, step):
    return [b for b in blocks if b["step"] == step]


def text_of(block, cid):
    c = block["ctl"].get(cid)
    return c["text"] if c else None


def field(block, key):
    return text_of(block, IDC["FIELD_VALUE"] + FIELDS.index(key))


def check_panel(block, disk, what):
    check(field(block, "MODEL") == disk["Model"],
          "%s: model %r, report %r" % (what, field(block, "MODEL"), disk["Model"]))
    check(field(block, "SERIAL_NUMBER") == disk["Serial number"], what + ": serial number")
    check(field(block, "FIRMWARE") == disk["Firmware"], what + ": firmware")
    title = text_of(block, IDC["TITLE"]) or ""
    check(title.startswith(disk["Model"] + " "), "%s: title %r" % (what, title))
    status = text_of(block, IDC["STATUS"])
    expected = "N/A" if disk["Status"].startswith("N/A") else disk["Status"]
    check(status == expected, "%s: status %r, report %r" % (what, status, disk["Status"]))
    check(text_of(block, IDC["TEMPERATURE"]) == disk["Temperature"],
          "%s: temperature %r, report %r" % (what, text_of(block, IDC["TEMPERATURE"]),
                                             disk["Temperature"]))
    # A disk without a life figure says so in words, never "0%"; one without
    # a life figure or not rated has no remaining-time estimate, never
    # "0 years".
    check(text_of(block, IDC["LIFE"]) == disk["Life"],
          "%s: life %r, report %r" % (what, text_of(block, IDC["LIFE"]), disk["Life"]))
    remaining = text_of(block, IDC["REMAINING"])
    unrated = expected == "N/A" and disk.get("Interface") != "NVM Express"
    if disk["Life"] == "Unknown" or unrated:
        check(remaining == "----- years", "%s: no estimate, %r" % (what, remaining))
    elif disk["Life"] == "100%":
        check(remaining == ">10 years", "%s: a whole life, %r" % (what, remaining))


def check_layout(block, client, what):
    """Every visible control inside the client area, no two overlapping."""
    ctls = [(cid, c) for cid, c in block["ctl"].items()
            if c["cls"] in ("Button", "Static") and c["w"] > 0]
    check(len(ctls) > 40, "%s: the panel's controls are there (%d)" % (what, len(ctls)))
    outside = [cid for cid, c in ctls
               if c["x"] < 0 or c["y"] < 0 or c["x"] + c["w"] > client[0] or
               c["y"] + c["h"] > client[1]]
    check(not outside, "%s: controls outside the window: %r" % (what, outside))
    overlaps = []
    for i, (a, ca) in enumerate(ctls):
        for b, cb in ctls[i + 1:]:
            if (ca["x"] < cb["x"] + cb["w"] and cb["x"] < ca["x"] + ca["w"] and
                    ca["y"] < cb["y"] + cb["h"] and cb["y"] < ca["y"] + ca["h"]):
                overlaps.append((a, b))
    check(not overlaps, "%s: overlapping controls %r" % (what, overlaps))


def texts_of(blocks, step_prefix="text:"):
    out = []
    for b in blocks:
        if b["step"].startswith(step_prefix):
            out += [l[5:] for l in b["lines"] if l.startswith("text ")]
    return out


def check_graph(display):
    """The graph pane on a year of history: temperature of the selected disk,
    a failing disk's reallocated sectors over the year, the live view and
    back, Escape."""
    folder = stage({"Language": "English", "ZoomType": "100"})
    report, written = stage_history(folder)
    disks = report.get("Disks", [])
    counts = [written.get(d.get("ModelSerial"), {}).get("05", 0) for d in disks]
    failing = counts.index(max(counts)) if counts and max(counts) > 0 else None
    check(failing is not None, "the demo machine has a disk with reallocated sectors")
    if failing is None:
        return
    fd = disks[failing]
    chart = "text:%d" % IDC["GRAPH_CHART"]
    steps = ["start:--machine demo", "key:F10", chart, "dump",
             "pick:%d:%d" % (IDC["GRAPH_DISK"], failing), chart,
             "pick:%d:5" % IDC["GRAPH_ITEM"], chart,
             "pick:%d:5" % IDC["GRAPH_INTERVAL"], chart, "dump",
             "key:F6", chart, "dump",
             "pick:%d:6" % IDC["GRAPH_INTERVAL"], chart, "dump",
             "pick:%d:1" % IDC["GRAPH_INTERVAL"], chart, "dump",
             "key:ESC", "dump", "click:%d" % IDC["GRAPH_VIEW"], chart, "close"]
    blocks, took, raw = run_reader(display, folder, steps)
    check(raw.strip().endswith("done ok"), "graph run ended: " + raw.strip()[-200:])
    texts = texts_of(blocks)
    dumps = blocks_of(blocks, "dump")
    if len(texts) < 8 or len(dumps) < 6:
        check(False, "graph run: every step read (%d texts, %d dumps)" % (len(texts), len(dumps)))
        return

    def points(text):
        m = re.search(r": (\d+) points of (\d+) readings", text)
        return (int(m.group(1)), int(m.group(2))) if m else (None, None)

    # F10 opens the pane on the selected disk's temperature over one day.
    first = dumps[0]
    check(IDC["TITLE"] not in first["ctl"], "the panel is hidden under the graph pane")
    check(text_of(first, IDC["GRAPH_ITEM"]) == "Temperature", "item %r" % text_of(first, IDC["GRAPH_ITEM"]))
    check(text_of(first, IDC["GRAPH_INTERVAL"]) == "1 day", "interval %r" % text_of(first, IDC["GRAPH_INTERVAL"]))
    shown = text_of(first, IDC["GRAPH_DISK"]) or ""
    selected = next((d for i, d in enumerate(disks) if shown.startswith("(%d) " % (i + 1))), None)
    check(selected is not None, "disk combo entry %r" % shown)
    if selected is not None and "Temperature" in written.get(selected["ModelSerial"], {}):
        t = written[selected["ModelSerial"]]["Temperature"]
        check(texts[0].startswith("Temperature: ") and ("latest %d at" % t) in texts[0],
              "the day's temperatures end with the disk's %d: %r" % (t, texts[0]))
        n, readings = points(texts[0])
        check(n == readings and n is not None and 140 <= n <= 145,
              "a day of 10-minute records, all drawn: %r" % texts[0])
    # The failing disk's reallocated sectors over a day, then a year.
    check(texts[2].startswith("Reallocated Sectors Count: "), "item chosen: %r" % texts[2])
    year = texts[3]
    n, readings = points(year)
    check(n is not None and n <= 1000 and readings is not None and readings > 50000,
          "a year of readings reduced to at most 1000 points: %r" % year)
    check(("latest %d at" % written[fd["ModelSerial"]]["05"]) in year and "min 0," in year,
          "the year rises from 0 to the disk's %d: %r" % (written[fd["ModelSerial"]]["05"], year))
    check(year.split(" at ")[-1][:10] == datetime.date.today().strftime("%Y-%m-%d"),
          "the year's graph ends today: %r" % year)
    # A rescan lists the disks again; the pane keeps showing the same disk.
    check(texts[4] == year, "after a rescan the same graph: %r" % texts[4])
    check(text_of(dumps[2], IDC["GRAPH_DISK"]) == text_of(dumps[1], IDC["GRAPH_DISK"]) and
          (text_of(dumps[2], IDC["GRAPH_DISK"]) or "").startswith("(%d) " % (failing + 1)),
          "after a rescan the same disk: %r" % text_of(dumps[2], IDC["GRAPH_DISK"]))
    # Live view of a disk without counters: temperature only, the item combo
    # emptied and disabled.
    live = texts[5]
    check(live.startswith("live: ") and "temperatures, latest" in live, "live view %r" % live)
    item = dumps[3]["ctl"].get(IDC["GRAPH_ITEM"])
    check(item is not None and not item["enabled"] and item["text"] == "",
          "the item combo is empty and disabled in the live view: %r" % item)
    # Leaving the live view brings the item back.
    check(text_of(dumps[4], IDC["GRAPH_ITEM"]) == "Reallocated Sectors Count",
          "the item comes back after the live view: %r" % text_of(dumps[4], IDC["GRAPH_ITEM"]))
    check(texts[6].startswith("Reallocated Sectors Count: "), "a week of it: %r" % texts[6])
    # Every control of the pane inside the pane's place, none over another.
    pane = [dumps[1]["ctl"].get(i) for i in (IDC["GRAPH_DISK"], IDC["GRAPH_ITEM"],
                                             IDC["GRAPH_INTERVAL"], IDC["GRAPH_CHART"], IDC["GRAPH_BACK"])]
    check(all(c is not None for c in pane), "the pane's controls are shown")
    if all(c is not None for c in pane):
        boxes = [(c["x"], c["y"], c["x"] + c["w"], c["y"] + c["h"]) for c in pane]
        inside = all(16 <= x0 and 124 <= y0 and x1 <= 1006 and y1 <= 748 for x0, y0, x1, y1 in boxes)
        check(inside, "the pane's controls lie in the pane: %r" % boxes)
        overlap = [(i, j) for i in range(len(boxes)) for j in range(i + 1, len(boxes))
                   if boxes[i][0] < boxes[j][2] and boxes[j][0] < boxes[i][2] and
                   boxes[i][1] < boxes[j][3] and boxes[j][1] < boxes[i][3]]
        check(not overlap, "the pane's controls do not overlap: %r" % overlap)
    # Escape goes back to the panel; the graph button opens the pane again.
    check(IDC["TITLE"] in dumps[5]["ctl"] and IDC["GRAPH_CHART"] not in dumps[5]["ctl"],
          "Escape in the graph pane shows the panel")
    check(texts[7].startswith("Reallocated Sectors Count: "),
          "the graph button shows the pane again as it was: %r" % texts[7])
    print("graph run: %.1f s" % took)


def rate_text(r, two_lines=False):
    """The rate read-out of a byte rate, as the window writes it."""
    sep = " \n" if two_lines else " "
    if r <= 1023:
        return "%d%sB/s" % (r, sep)
    if r <= 1048575:
        return "%d%sKB/s" % (r // 1024, sep)
    return "%.2f%sMB/s" % (r / 1048576, sep)


def scripted_rates():
    """The demo machine's scripted counters: {path: [values]}."""
    values, inside = {}, False
    for line in open(os.path.join(ROOT, "fixtures/machines/demo/machine.ini"), encoding="utf-8"):
        line = line.strip()
        if line.startswith("["):
            inside = line == "[performance]"
        elif inside and "=" in line:
            path, _, v = line.partition("=")
            values[path.strip()] = [int(x) for x in v.split()]
    return values


def check_rates(display):
    """The selected disk's transfer-rate read-outs: the system disk's rates
    are the machine's scripted counter values, a disk without counters says
    so, and the live graph draws the rates."""
    folder = stage({"Language": "English", "ZoomType": "100"})
    script = scripted_rates()
    reads = script.get("\\PhysicalDisk(0 C:)\\Disk Read Bytes/sec", [])
    writes = script.get("\\PhysicalDisk(0 C:)\\Disk Write Bytes/sec", [])
    totals = script.get("\\PhysicalDisk(0 C:)\\Disk Bytes/sec", [])
    check(bool(reads and writes and totals), "the demo machine scripts the C: disk's rates")
    letters = [d.get("Drive letters", "") for d in report(folder)]
    system = next((i for i, l in enumerate(letters) if "C:" in l.split()), None)
    check(system is not None and system + 1 < min(len(letters), 8), "the demo's C: disk %r" % letters)
    if system is None or system + 1 >= min(len(letters), 8):
        return
    chart = "text:%d" % IDC["GRAPH_CHART"]
    steps = ["start:--machine demo", "click:%d" % (IDC["DISK_FIRST"] + system), "wait:1600", "dump",
             "wait:1100", "dump", "click:%d" % IDC["NEXT"], "wait:1100", "dump",
             "click:%d" % IDC["PREVIOUS"], "key:F10", chart, "pick:%d:6" % IDC["GRAPH_INTERVAL"],
             "wait:2600", chart, "close"]
    # The program is left straight from the live view: the pane opened on a
    # day without history, whose warning box is still open, must not keep
    # the program from ending.
    blocks, took, raw = run_reader(display, folder, steps)
    check(raw.strip().endswith("done ok"), "rates run ended: " + raw.strip()[-200:])
    check(any(l == "exit 0" for b in blocks_of(blocks, "close") for l in b["lines"]),
          "the program ends from the live view at once: %r" % raw.strip()[-120:])
    dumps = blocks_of(blocks, "dump")
    if len(dumps) != 3:
        check(False, "rates run: every step dumped (%d)" % len(dumps))
        return
    percent = re.compile(r"^(\d{1,3}\.\d%|100%|0\.0 %)$")
    seen = set()
    for d in dumps[:2]:
        check(text_of(d, IDC["READ_RATE"]) in {rate_text(r) for r in reads},
              "read rate %r is one of C:'s counter values" % text_of(d, IDC["READ_RATE"]))
        check(text_of(d, IDC["WRITE_RATE"]) in {rate_text(r) for r in writes},
              "write rate %r is one of C:'s counter values" % text_of(d, IDC["WRITE_RATE"]))
        check(text_of(d, IDC["TOTAL_RATE"]) in {rate_text(r, True) for r in totals},
              "total rate %r is one of C:'s counter values" % text_of(d, IDC["TOTAL_RATE"]))
        for key in ("READ_PERCENT", "WRITE_PERCENT"):
            check(percent.match(text_of(d, IDC[key]) or "") is not None,
                  "%s %r" % (key.lower(), text_of(d, IDC[key])))
        check(text_of(d, IDC["READ_LABEL"]) == "Read Speed", "read label %r" % text_of(d, IDC["READ_LABEL"]))
        seen.add((text_of(d, IDC["READ_RATE"]), text_of(d, IDC["WRITE_RATE"]),
                  text_of(d, IDC["TOTAL_RATE"])))
    check(len(seen) == 2, "the read-outs follow the counters from tick to tick: %r" % seen)
    other = dumps[2]
    check((text_of(other, IDC["READ_RATE"]), text_of(other, IDC["WRITE_RATE"]),
           text_of(other, IDC["TOTAL_RATE"])) == ("----", "----", "N/A"),
          "a disk without counters: %r" % [text_of(other, IDC[k]) for k in ("READ_RATE", "WRITE_RATE", "TOTAL_RATE")])
    # (The pane is up, on a day without history, before the live view is chosen.)
    live = texts_of(blocks)
    check(len(live) == 2 and live[1].startswith("live: ") and " rates, latest read " in live[1],
          "the live graph of C: draws its rates: %r" % live)
    print("rates run: %.1f s" % took)

    # Resident and started minimized: no sampling until the window is first
    # opened from the tray; from then on the read-outs follow the counters.
    folder = stage(tray_settings("1", event_log="0"))
    steps = ["start:--machine demo", "click:%d" % (IDC["DISK_FIRST"] + system), "wait:1100", "dump",
             "wait:1100", "dump", "trayclick", "wait:1600", "dump", "wait:1100", "dump", "close"]
    blocks, took, raw = run_reader(display, folder, steps)
    check(raw.strip().endswith("done ok"), "minimized rates run ended: " + raw.strip()[-200:])
    dumps = blocks_of(blocks, "dump")
    if len(dumps) != 4:
        check(False, "minimized rates run: every step dumped (%d)" % len(dumps))
        return

    def rates(d):
        return tuple(text_of(d, IDC[k]) for k in ("READ_RATE", "WRITE_RATE", "TOTAL_RATE"))
    check(rates(dumps[0]) == rates(dumps[1]),
          "no sampling while minimized from the start: %r, %r" % (rates(dumps[0]), rates(dumps[1])))
    opened = [rates(d) for d in dumps[2:]]
    check(opened[0] != opened[1] and all(r[0] in {rate_text(v) for v in reads} for r in opened),
          "opened from the tray, the read-outs follow the counters: %r" % opened)
    print("minimized rates run: %.1f s" % took)


MEMORY_ROWS = ["MEMORY_TYPE", "MEMORY_CAPACITY", "MEMORY_SPEED", "MANUFACTURER", "PART_NUMBER",
               "SERIAL_NUMBER", "DIMM_TYPE", "CAS_LATENCY", "CONFIGURE", "GRADE", "IC_BRAND",
               "SPEED_GRADE", "PHYSICAL_MEMORY_TOTAL", "PHYSICAL_MEMORY_AVAILABLE", "USAGE"]


def memory_row(block, key):
    return text_of(block, IDC["MEMORY_VALUE"] + MEMORY_ROWS.index(key))


def size_text(mb):
    return "%.2fGB" % (mb / 1024) if mb > 1023 else "%dMB" % mb


def gb_or_mb(text):
    m = re.match(r"^(\d+(?:\.\d+)?)(GB|MB)$", text or "")
    return None if not m else float(m.group(1)) * (1024 if m.group(2) == "GB" else 1)


def expected_memory_rows(slot):
    """The rows the report's module gives: capacity, maker, part and serial
    number and the decoded fields."""
    info = slot["PartInfo"]
    if info["IsValid"]:
        return dict(MEMORY_CAPACITY=info["Capacity"], MANUFACTURER="Tessaly",
                    PART_NUMBER=slot["PartNumber"].strip(), SERIAL_NUMBER=slot["SerialNumber"].strip(),
                    DIMM_TYPE=info["ModuleType"], CAS_LATENCY=info["CasLatency"],
                    CONFIGURE=info["Organisation"], GRADE=info["TemperatureGrade"],
                    IC_BRAND=info["ChipBrand"])
    size = slot["Size"].strip()
    capacity = ("%d MBytes" % (int(size) // 1048576) if slot["IsSizeInBytes"] else size + " MBytes") if size else ""
    return dict(MEMORY_CAPACITY=capacity, MANUFACTURER=slot["Manufacturer"].strip(),
                PART_NUMBER=slot["PartNumber"].strip(), SERIAL_NUMBER=slot["SerialNumber"].strip(),
                DIMM_TYPE="N/A", CAS_LATENCY="N/A", CONFIGURE="N/A", GRADE="N/A", IC_BRAND="N/A")


def check_memory(display):
    """The memory pane (F2) against `stavrion report --system --json`: the slot
    list, the first selection, every row of each present module, the
    installed, available and used memory; Escape; and on a machine without
    a memory table or a known memory size: no slot, nothing selected, empty
    rows, the size and the use unknown."""
    folder = stage({"Language": "English", "ZoomType": "100"})
    out = subprocess.run(["wine", os.path.join(folder, "stavrion.exe"), "report", "--machine", "demo",
                          "--system", "--json"], env=wine_env(), stdout=subprocess.PIPE,
                         timeout=120).stdout.decode("utf-8", "replace")
    data = json.loads(out) if out.strip().startswith("{") else {}
    modules = data.get("MemoryModules", [])
    ram = data.get("SystemInfo", {}).get("RamSizeMb", 0)
    present = [i for i, m in enumerate(modules) if m["IsPresent"]]
    check(len(present) >= 2 and ram > 0, "the demo machine has modules and a memory size")
    if len(present) < 2:
        return
    decoded = [i for i in present if modules[i]["PartInfo"]["IsValid"]]
    first = decoded[-1] if decoded else present[0]
    steps = ["start:--machine demo", "key:F2", "wait:1500", "dump"]
    for n in range(len(present)):
        steps += ["pick:%d:%d" % (IDC["MEMORY_SLOT"], n), "dump"]
    steps += ["key:ESC", "dump", "key:F2", "dump", "close"]
    blocks, took, raw = run_reader(display, folder, steps)
    check(raw.strip().endswith("done ok"), "memory run ended: " + raw.strip()[-200:])
    dumps = blocks_of(blocks, "dump")
    if len(dumps) != len(present) + 3:
        check(False, "memory run: every step dumped (%d)" % len(dumps))
        return
    labels = [text_of(dumps[0], IDC["MEMORY_LABEL"] + i) for i in range(len(MEMORY_ROWS))]
    check(labels[:3] == ["Type", "Capacity", "Speed"] and labels[11] == "Speed Grade",
          "memory labels %r" % labels)
    check(IDC["TITLE"] not in dumps[0]["ctl"], "the panel is hidden under the memory pane")
    check(text_of(dumps[0], IDC["MEMORY_SLOT"]) == "Slot #%d" % first,
          "first selection %r, the last decoded slot is %d" % (text_of(dumps[0], IDC["MEMORY_SLOT"]), first))
    for n, slot in enumerate(present):
        d = dumps[1 + n]
        check(text_of(d, IDC["MEMORY_SLOT"]) == "Slot #%d" % slot, "entry %d is slot %d: %r" % (n, slot, text_of(d, IDC["MEMORY_SLOT"])))
        expected = expected_memory_rows(modules[slot])
        got = {k: memory_row(d, k) for k in expected}
        check(got == expected, "slot %d rows %r vs %r" % (slot, got, expected))
        check(bool(memory_row(d, "MEMORY_TYPE")) and re.match(r"^\d+%$", memory_row(d, "SPEED_GRADE") or ""),
              "slot %d type %r, speed grade %r" % (slot, memory_row(d, "MEMORY_TYPE"), memory_row(d, "SPEED_GRADE")))
    d = dumps[0]
    check(memory_row(d, "PHYSICAL_MEMORY_TOTAL") == size_text(ram),
          "total %r for %d MiB" % (memory_row(d, "PHYSICAL_MEMORY_TOTAL"), ram))
    usage = memory_row(d, "USAGE") or ""
    available, used = gb_or_mb(memory_row(d, "PHYSICAL_MEMORY_AVAILABLE")), gb_or_mb(text_of(d, IDC["MEMORY_USED"]))
    check(re.match(r"^\d{2,3}%$", usage) is not None and available is not None and used is not None,
          "usage %r, available %r, used %r" % (usage, memory_row(d, "PHYSICAL_MEMORY_AVAILABLE"), text_of(d, IDC["MEMORY_USED"])))
    if available is not None and used is not None and usage.endswith("%"):
        check(abs(available + used - ram) < 400, "available and used add up to the memory: %r + %r vs %d" % (available, used, ram))
        check(abs(int(usage[:-1]) - used * 100 / ram) <= 2, "usage %r of %r used" % (usage, used))
    check(IDC["TITLE"] in dumps[-2]["ctl"] and IDC["MEMORY_SLOT"] not in dumps[-2]["ctl"],
          "Escape in the memory pane shows the panel")
    check(text_of(dumps[-1], IDC["MEMORY_SLOT"]) == text_of(dumps[len(present)], IDC["MEMORY_SLOT"]),
          "F2 shows the pane again as it was")
    print("memory pane run: %.1f s" % took)

    # A machine with no memory table and no memory size.
    machine = os.path.join(folder, "machine")
    shutil.copytree(os.path.join(ROOT, "fixtures/machines/demo"), machine)
    ini = os.path.join(machine, "machine.ini")
    lines = open(ini, encoding="utf-8").read().splitlines()
    lines = [l for l in lines if not re.match(r"^(memory|smbios|smbios_version)\s*=", l)]
    open(ini, "w", encoding="utf-8").write("\n".join(lines) + "\n")
    where = "Z:" + machine.replace("/", "\\")
    blocks, took, raw = run_reader(display, folder, ["start:--machine " + where, "key:F2", "wait:1500", "dump", "close"])
    dumps = blocks_of(blocks, "dump")
    check(len(dumps) == 1, "memory run without modules: %r" % raw.strip()[-200:])
    if dumps:
        d = dumps[0]
        check(text_of(d, IDC["MEMORY_SLOT"]) == "", "no slot selected: %r" % text_of(d, IDC["MEMORY_SLOT"]))
        rows = [memory_row(d, k) for k in MEMORY_ROWS[:12]]
        check(rows == [""] * 12, "no module: empty rows %r" % rows)
        check(memory_row(d, "PHYSICAL_MEMORY_TOTAL") == "Unknown" and memory_row(d, "USAGE") == "Unknown",
              "unknown size: total %r, usage %r" % (memory_row(d, "PHYSICAL_MEMORY_TOTAL"), memory_row(d, "USAGE")))
    print("memory pane without modules: %.1f s" % took)


def check_performance(display):
    """The system-performance pane (its view button): processor and memory
    use from the demo machine's scripted counters, the system disk's
    activity; the button and Escape go back to the panel."""
    folder = stage({"Language": "English", "ZoomType": "100"})
    script = scripted_rates()
    cpu = script.get("\\Processor(_Total)\\% Processor Time", [])
    available = script.get("\\Memory\\Available MBytes", [])
    ram = 24463  # "memory" of the demo machine
    check(bool(cpu and available), "the demo machine scripts processor and memory counters")
    if not (cpu and available):
        return
    view = "click:%d" % IDC["PERFORMANCE_VIEW"]
    blocks, took, raw = run_reader(display, folder, ["start:--machine demo", view, "wait:1500", "dump",
                                                     view, "dump", view, "key:ESC", "dump", "close"])
    check(raw.strip().endswith("done ok"), "performance run ended: " + raw.strip()[-200:])
    dumps = blocks_of(blocks, "dump")
    if len(dumps) != 3:
        check(False, "performance run: every step dumped (%d)" % len(dumps))
        return
    d = dumps[0]
    captions = [text_of(d, IDC["PERFORMANCE_CAPTION"] + i) for i in range(3)]
    check(captions == ["Processor Usage", "System Disk Activity", "Memory Usage"], "captions %r" % captions)
    texts = [text_of(d, IDC["PERFORMANCE_TEXT"] + i) or "" for i in range(3)]
    check(all(re.match(r"^\d{1,3}%$", t) for t in texts), "percent texts %r" % texts)
    if all(re.match(r"^\d{1,3}%$", t) for t in texts):
        p_cpu, p_disk, p_memory = (int(t[:-1]) for t in texts)
        check(min(cpu) <= p_cpu <= max(cpu), "processor %d%% is a mean of %r" % (p_cpu, cpu))
        low, high = ((ram - max(available)) * 100 // ram, (ram - min(available)) * 100 // ram)
        check(low <= p_memory <= high, "memory use %d%% within %d..%d%%" % (p_memory, low, high))
        check(0 <= p_disk <= 100, "system disk activity %d%%" % p_disk)
    check(IDC["TITLE"] not in d["ctl"], "the panel is hidden under the performance pane")
    check(IDC["TITLE"] in dumps[1]["ctl"] and IDC["PERFORMANCE_TEXT"] not in dumps[1]["ctl"],
          "the view button again shows the panel")
    check(IDC["TITLE"] in dumps[2]["ctl"] and IDC["PERFORMANCE_TEXT"] not in dumps[2]["ctl"],
          "Escape in the performance pane shows the panel")
    print("performance pane run: %.1f s" % took)


class BannerServer:
    """A loopback HTTP server (Python's http.server) answering the banner
    requests one after another from a script of (status, text) replies."""

    def __init__(self, replies):
        self.replies = list(replies)
        self.requests = []
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                owner.requests.append(self.path)
                status, text = owner.replies.pop(0) if owner.replies else (404, "gone")
                body = text.encode("utf-8")
                self.send_response(status)
                self.send_header("Content-Type", "text/plain")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

        self.server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)

    def url(self):
        return "http://127.0.0.1:%d/download/ad_banner.txt" % self.server.server_address[1]

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *args):
        self.server.shutdown()
        self.server.server_close()


def check_about(display):
    """The about pane (its view button): the built-in texts, the shortcut
    rows, the banner over a loopback server serving a good link, hostile
    texts (a file: link, a program path, a share), a 404 page and a shorter
    text; only web links reach the opener (the link log stands in for the
    shell), and the kept banner file holds the last text whole. With web
    links off a click downloads and opens nothing."""
    folder = stage({"Language": "English", "ZoomType": "100", "GuiStyle": "1"})
    links = os.path.join(folder, "links.txt")
    replies = [(200, "http://www.example.org/a/long/banner/link/of/the/sale\r\nsecond line\r\n"),
               (200, "file:///C:/Windows/System32/calc.exe\r\n"),
               (200, "C:\\Windows\\System32\\calc.exe\r\n"),
               (200, "\\\\server\\share\\setup.exe\r\n"),
               (404, "http://not.found.example/\r\n"),
               (200, "HTTP://Short.Example/\n")]
    with BannerServer(replies) as server:
        view = "click:%d" % IDC["ABOUT_BUTTON"]
        banner = "click:%d" % IDC["ABOUT_BANNER"]
        steps = ["start:--machine demo --banner-url %s --link-log %s" % (
            server.url(), "Z:" + links.replace("/", "\\")), view, "wait:500", "dump", "list"]
        for _ in replies:
            steps += [banner, "wait:1500", "dump"]
        steps += [view, "dump", view, "key:ESC", "dump", "close"]
        blocks, took, raw = run_reader(display, folder, steps)
        requests = list(server.requests)
    check(raw.strip().endswith("done ok"), "about run ended: " + raw.strip()[-200:])
    dumps = blocks_of(blocks, "dump")
    if len(dumps) != len(replies) + 3:
        check(False, "about run: every step dumped (%d)" % len(dumps))
        return
    d = dumps[0]
    check(text_of(d, IDC["ABOUT_VERSION"]) == "ver 4.0.2", "about version %r" % text_of(d, IDC["ABOUT_VERSION"]))
    check("Tessaly" in (text_of(d, IDC["ABOUT_COPYRIGHT"]) or ""), "copyright %r" % text_of(d, IDC["ABOUT_COPYRIGHT"]))
    check("disk" in (text_of(d, IDC["ABOUT_DESCRIPTION"]) or ""), "description %r" % text_of(d, IDC["ABOUT_DESCRIPTION"]))
    check(IDC["TITLE"] not in d["ctl"], "the panel is hidden under the about pane")
    lists = blocks_of(blocks, "list")
    rows = lists[0]["rows"] if lists else []
    got = [(r[-1], r[1], r[2]) for r in rows]
    check(got == [("1", "F1", "About"), ("2", "F2", "Memory Information"), ("3", "F5", "Refresh"),
                  ("4", "F6", "Rescan"), ("5", "F7", "Settings"), ("6", "F9", "S.M.A.R.T. Information"),
                  ("7", "F10", "Graphs")], "shortcut rows %r" % got)
    check(lists and lists[0].get("head", [])[1:3] == ["Shortcut", "Function"],
          "shortcut headings %r" % (lists[0].get("head") if lists else None))
    home = "https://www.tessaly.example/"
    expected = ["http://www.example.org/a/long/banner/link/of/the/sale", home, home, home, home,
                "http://short.example/"]
    statuses = [text_of(dumps[1 + i], IDC["ABOUT_BANNER_STATUS"]) for i in range(len(replies))]
    check(statuses == expected, "banner links shown %r" % statuses)
    opened = open(links).read().splitlines() if os.path.exists(links) else []
    check(opened == expected, "links handed to the opener %r" % opened)
    check(len(requests) == len(replies) and all(r == "/download/ad_banner.txt" for r in requests),
          "one download per click %r" % requests)
    kept = os.path.join(folder, "TslResource", "downloads", "ad_banner.txt")
    text = open(kept, "rb").read() if os.path.exists(kept) else b""
    check(text == b"HTTP://Short.Example/\n", "the kept banner file holds the last text whole: %r" % text)
    check(IDC["TITLE"] in dumps[-2]["ctl"] and IDC["ABOUT_VERSION"] not in dumps[-2]["ctl"],
          "the view button again shows the panel")
    check(IDC["TITLE"] in dumps[-1]["ctl"] and IDC["ABOUT_VERSION"] not in dumps[-1]["ctl"],
          "Escape in the about pane shows the panel")
    print("about pane run: %.1f s" % took)

    # Web links off: no download, nothing opened; no customization and
    # "GuiStyle" 0: the texts are empty.
    folder = stage({"Language": "English", "ZoomType": "100", "OnLineHelp": "0"})
    links = os.path.join(folder, "links.txt")
    with BannerServer([(200, "http://www.example.org/\r\n")]) as server:
        steps = ["start:--machine demo --banner-url %s --link-log %s" % (
            server.url(), "Z:" + links.replace("/", "\\")), "click:%d" % IDC["ABOUT_BUTTON"],
                 "click:%d" % IDC["ABOUT_BANNER"], "wait:1500", "dump", "close"]
        blocks, took, raw = run_reader(display, folder, steps)
        requests = list(server.requests)
    dumps = blocks_of(blocks, "dump")
    check(len(dumps) == 1 and not requests and not os.path.exists(links),
          "web links off: no download (%r), nothing opened" % requests)
    if dumps:
        texts = [text_of(dumps[0], IDC[k]) for k in ("ABOUT_VERSION", "ABOUT_DESCRIPTION", "ABOUT_COPYRIGHT")]
        check(texts == ["", "", ""], "no customization, GuiStyle 0: empty texts %r" % texts)
    print("about pane, web links off: %.1f s" % took)


def read_ini(path):
    """Sections of an INI file as {section: {key: value}}, names in lower case."""
    sections, current = {}, None
    with open(path, "rb") as f:
        data = f.read()
    text = data.decode("utf-16") if data[:2] in (b"\xff\xfe", b"\xfe\xff") else data.decode("latin-1")
    for line in text.splitlines():
        m = re.match(r"^\s*\[(.*)\]\s*$", line)
        if m:
            current = sections.setdefault(m.group(1).lower(), {})
        elif current is not None and "=" in line:
            k, v = line.split("=", 1)
            current[k.strip().lower()] = v.strip()
    return sections


class RefusingSmtpServer:
    """A mail server on the loopback that refuses every recipient."""

    def __enter__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(1)
        self.sock.settimeout(60)
        self.port = self.sock.getsockname()[1]
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()
        return self

    def serve(self):
        try:
            conn, _ = self.sock.accept()
        except OSError:
            return
        with conn:
            conn.settimeout(20)
            conn.sendall(b"220 mx.test ready\r\n")
            data = b""
            while True:
                try:
                    chunk = conn.recv(4096)
                except OSError:
                    return
                if not chunk:
                    return
                data += chunk
                while b"\r\n" in data:
                    line, data = data.split(b"\r\n", 1)
                    if line.upper().startswith(b"RCPT"):
                        reply = b"550 5.1.1 <admin@example.org>: no such user here\r\n"
                    elif line.upper().startswith(b"QUIT"):
                        conn.sendall(b"221 bye\r\n")
                        return
                    else:
                        reply = b"250 ok\r\n"
                    conn.sendall(reply)

    def __exit__(self, *args):
        self.sock.close()


def check_settings(display):
    """The settings pane (its view button, F1, F7): the General page's captions
    and choices, a disk's alarms with a hostile health threshold and a bad
    character, the mail fields, Save and the file it writes (the password
    protected), the values read again when the pane is shown after the tray
    menu changed one, and a language change."""
    folder = stage({"Language": "English", "ZoomType": "100", "AutoRefresh": "12"})
    keys = model_serials(folder)
    check(len(keys) >= 2, "ModelSerials of the demo disks (%d)" % len(keys))
    if len(keys) < 2:
        return
    ini = os.path.join(folder, "StavrionGui.ini")
    history = os.path.join(folder, history_root_name(folder))
    for key in keys[:2]:
        os.makedirs(os.path.join(history, key), exist_ok=True)
        with open(os.path.join(history, key, "Temperature.csv"), "w") as f:
            f.write("2026/12/01 10:00:00,40\n")
    with open(ini, "a", newline="") as f:
        # Disk 1 comes with an above-temperature alarm of 90: out of range, off.
        f.write("[AlarmTemperature]\r\n%s=90\r\n" % keys[0])
    view, page, colour = IDC["SETTINGS_VIEW"], IDC["SETTINGS_PAGE"], IDC["SETTINGS_COLOUR"]
    check_id, edit = IDC["SETTINGS_ALARM_CHECK"], IDC["SETTINGS_ALARM_EDIT"]
    popup = "focus:StavrionColourPopup"
    steps = ["start:--machine demo", "click:%d" % view, "dump",
             "click:%d" % (page + 1), "dump",
             "check:%d:1" % (check_id + 2), "settext:%d:-5" % (edit + 2),
             "check:%d:1" % check_id, "settext:%d:4a" % (edit + 1), "msgbox:ok", "dump",
             "click:%d" % page, "pick:%d:3" % IDC["SETTINGS_COMBO"],
             # The colour picker: Escape changes nothing, the second colour is chosen.
             # The keys go to the palette once it has the focus.
             "click:%d" % colour, popup, "key:RIGHT", "key:ESC", "dump",
             "click:%d" % colour, popup, "key:DOWN", "key:RIGHT", "key:RETURN", "dump",
             # "More Colours..." (under the last row) opens the system's colour dialog.
             "click:%d" % colour, popup] + ["key:DOWN"] * 5 + ["key:RETURN", "msgbox:ok",
             "click:%d" % (page + 2), "settext:%d:admin@example.org" % IDC["SETTINGS_MAIL_EDIT"],
             "settext:%d:s3cret word" % (IDC["SETTINGS_MAIL_EDIT"] + 5),
             "click:%d" % IDC["SETTINGS_SAVE"], "msgbox:ok",
             "click:%d" % view, "dump",
             # The tray menu turns disk 2's health alarm on while the pane is hidden.
             "cmd:%d" % (0x9900 + 1),
             "key:F7", "click:%d" % (page + 1), "pick:%d:1" % IDC["SETTINGS_DISK"], "dump",
             "click:%d" % IDC["SETTINGS_SAVE"], "msgbox:ok",
             "key:F1", "dump", "list",
             "click:%d" % page, "pick:%d:Deutsch" % (IDC["SETTINGS_COMBO"] + 9),
             "click:%d" % IDC["SETTINGS_SAVE"], "msgbox:ok", "dump",
             # Deleting the first disk's history, and nothing else.
             "click:%d" % (page + 1), "pick:%d:0" % IDC["SETTINGS_DISK"],
             "click:%d" % IDC["SETTINGS_CLEAR_LOGS"], "msgbox:yes", "close"]
    with RefusingSmtpServer() as server:
        mail = IDC["SETTINGS_MAIL_EDIT"]
        at = steps.index("click:%d" % IDC["SETTINGS_SAVE"])
        # A test mail to the server, which refuses the recipient.
        steps[at:at] = ["settext:%d:alarm@example.org" % (mail + 1), "settext:%d:127.0.0.1" % (mail + 2),
                        "settext:%d:%d" % (mail + 3, server.port), "click:%d" % IDC["SETTINGS_TEST_MAIL"],
                        "msgbox:ok"]
        blocks, took, raw = run_reader(display, folder, steps)
    check(raw.strip().endswith("done ok"), "settings run ended: " + raw.strip()[-300:])
    dumps = blocks_of(blocks, "dump")
    boxes = [l for b in blocks_of(blocks, "msgbox:ok") for l in b["lines"] if l.startswith("msgbox ")]
    boxes += [l for b in blocks_of(blocks, "msgbox:yes") for l in b["lines"] if l.startswith("msgbox ")]
    if len(dumps) != 9 or len(boxes) != 7:
        check(False, "settings run: every step dumped (%d) and every message box answered (%d)"
              % (len(dumps), len(boxes)))
        return
    general, disk, edited, escaped, chosen, panel, reloaded, about, german = dumps
    # Every key of the palette steps reached the palette (and none went on
    # to the pane behind it while it was still opening).
    palette_keys = [l for b in blocks if b["step"].startswith("key:") for l in b["lines"]
                    if l.startswith("key ")][:11]
    check(len(palette_keys) == 11 and all(l.endswith(" StavrionColourPopup") for l in palette_keys),
          "the palette's keys went to the palette: %r" % palette_keys)
    check(text_of(general, colour) == "Automatic", "the graph colour starts automatic: %r"
          % text_of(general, colour))
    check(text_of(escaped, colour) == "Automatic", "Escape in the palette changes nothing: %r"
          % text_of(escaped, colour))
    check(text_of(chosen, colour) == "#993300", "the palette's second colour chosen: %r"
          % text_of(chosen, colour))
    captions = [text_of(general, IDC["SETTINGS_CAPTION"] + i) for i in range(10)]
    check(captions[0] == "Automatic refresh" and captions[9] == "Language",
          "General page captions %r" % captions)
    check(text_of(general, IDC["SETTINGS_COMBO"]) == "Off",
          "an AutoRefresh outside the list shows Off: %r" % text_of(general, IDC["SETTINGS_COMBO"]))
    check(IDC["TITLE"] not in general["ctl"], "the panel is hidden under the settings pane")
    check(text_of(disk, check_id + 0) == "Alarm above", "Disk page check box %r" % text_of(disk, check_id))
    check(text_of(disk, edit) == "0", "an above alarm of 90 in the file shows 0: %r" % text_of(disk, edit))
    check(not disk["ctl"][IDC["SETTINGS_ALARM_SPIN"]]["enabled"], "spin off while unchecked")
    check(text_of(edited, edit) == "50", "checking the above alarm shows 50: %r" % text_of(edited, edit))
    check(text_of(edited, edit + 2) == "-5", "the typed health text stays: %r" % text_of(edited, edit + 2))
    check(text_of(edited, edit + 1) == "-10", "a bad below text resets to -10: %r" % text_of(edited, edit + 1))
    check(edited["ctl"][IDC["SETTINGS_ALARM_SPIN"]]["enabled"], "spin on while checked")
    check(boxes[0].startswith("msgbox Error\t[Temperature - Below Alarm] contains invalid character!"),
          "the below field's message: %r" % boxes[0])
    check(boxes[1].startswith("msgbox ") and "changes" not in boxes[1],
          "More Colours... opens the colour dialog: %r" % boxes[1])
    check(boxes[2].startswith("msgbox Warning\tThe test mail could not be sent.") and "550 5.1.1" in boxes[2],
          "the failed test mail shows the server's reply: %r" % boxes[2])
    boxes.pop(2)
    check(boxes[2] == "msgbox Information\tAll changes have been saved.", "saved: %r" % boxes[2])
    check(IDC["TITLE"] in panel["ctl"], "the view button again shows the panel")
    check(text_of(reloaded, edit + 2) == "1",
          "the pane shows the tray's health alarm of disk 2: %r" % text_of(reloaded, edit + 2))
    check(text_of(about, IDC["SETTINGS_ABOUT"]).startswith("Vardex"), "F1 shows the About page: %r"
          % text_of(about, IDC["SETTINGS_ABOUT"]))
    lists = [b for b in blocks if b["step"] == "list"]
    rows = lists[0]["rows"] if lists else []
    check(any(r[-1] == "Computer" for r in rows) and any(r[-1] == "Disk" for r in rows),
          "the About page lists the system information: %r" % [r[-1] for r in rows][:14])
    check(text_of(german, view) == "Einstellungen", "the language change reaches the window: %r"
          % text_of(german, view))
    check(boxes[4] == "msgbox Information\tAlle \u00c4nderungen wurden gespeichert.",
          "saved in the new language: %r" % boxes[4])
    check(boxes[5].startswith("msgbox Warnung\tDen gesamten Verlauf"), "asked before deleting: %r" % boxes[5])
    check(not os.path.exists(os.path.join(history, keys[0])), "the first disk's history is deleted")
    check(os.path.exists(os.path.join(history, keys[1], "Temperature.csv")),
          "the second disk's history stays")
    s = read_ini(ini)
    setting = s.get("setting", {})
    check(setting.get("autorefresh") == "3", "AutoRefresh saved: %r" % setting.get("autorefresh"))
    check(setting.get("mailto") == "admin@example.org", "MailTo saved: %r" % setting.get("mailto"))
    password = setting.get("mailpassword", "")
    check(password.startswith("dpapi:") and "s3cret" not in password,
          "the password is stored protected: %r" % password[:40])
    check(setting.get("evaluatealldisks") == "0", "EvaluateAllDisks written")
    check(setting.get("graphcolor") == "993300", "GraphColor saved: %r" % setting.get("graphcolor"))
    check(setting.get("language") == "German", "Language written: %r" % setting.get("language"))
    k0, k1 = keys[0].lower(), keys[1].lower()
    check(s.get("alarmhealthstatus", {}).get(k0) == "0", "a health threshold of -5 is saved as off: %r"
          % s.get("alarmhealthstatus", {}).get(k0))
    check(s.get("alarmtemperature", {}).get(k0) == "50", "the above alarm saved under the disk's key")
    check(s.get("alarmhealthstatus", {}).get(k1) == "1", "the tray's change survives Save: %r"
          % s.get("alarmhealthstatus", {}).get(k1))
    print("settings pane run: %.1f s (colour dialog: %s)" % (took, boxes[1][7:].split("\t")[0]))


def bench_drive(folder):
    """A drive letter of the Wine prefix for a folder in the staged
    directory, so the benchmark's test file goes there; returns (letter,
    folder, link). Wine reads its drive letters when its server starts:
    call before the server of this run starts."""
    drive = os.path.join(folder, "benchdrive")
    os.makedirs(drive, exist_ok=True)
    for letter in "tuvwxy":
        link = os.path.join(prefix_dir(), "dosdevices", letter + ":")
        if not os.path.lexists(link):
            os.symlink(drive, link)
            return letter.upper(), drive, link
    return None, drive, None


def check_benchmark(display, bench, shot=None):
    """The benchmark pane (F11): a short run (50 MB, one loop, the random
    Q1 T1 pair) on the drive `bench` (letter, folder, link) of a staged
    folder, a figure for each test, the history row, the report saved as
    UTF-16 with a byte-order mark and the test file gone. Wine ignores
    unbuffered I/O: the figures are not measurements here. With `shot`, a
    picture of the finished run."""
    folder = stage({"Language": "English", "ZoomType": "100"})
    letter, drive, link = bench
    check(letter is not None, "a free drive letter for the benchmark")
    if letter is None:
        return
    report_path = os.path.join(folder, "bench-report.txt")
    # The pane is made on the key's message: wait for its Start button
    # before the first dump (a loaded machine may not be there yet).
    steps = ["start:--machine demo", "key:F11", "text:%d" % IDC["BENCH_START"], "dump",
             "pick:%d:%s:" % (IDC["BENCH_DRIVE"], letter), "pick:%d:4" % IDC["BENCH_TYPE"],
             "pick:%d:0" % IDC["BENCH_SIZE"], "pick:%d:0" % IDC["BENCH_LOOP"], "dump",
             "click:%d" % IDC["BENCH_START"], "wait:1500", "dump",
             "enabled:%d:240" % IDC["BENCH_START"], "dump"]
    if shot:
        steps += ["wait:%d" % shot]
    steps += ["click:%d" % IDC["BENCH_SAVE"], "savefile:Z:" + report_path.replace("/", "\\"),
              "close"]
    blocks, took, raw = run_reader(display, folder, steps)
    check(raw.strip().endswith("done ok"), "benchmark run ended: " + raw.strip()[-300:])
    dumps = blocks_of(blocks, "dump")
    if len(dumps) < 4:
        check(False, "benchmark run: every step dumped (%d)" % len(dumps))
        return
    first, picked, running, done = dumps
    check((text_of(picked, IDC["BENCH_DRIVE"]) or "").startswith(letter + ": ["),
          "the drive of the staged folder is listed (%r; Wine reads drive letters when its "
          "server starts)" % text_of(picked, IDC["BENCH_DRIVE"]))
    check(text_of(first, IDC["BENCH_START"]) == "Start",
          "the pane's Start button (%r)" % text_of(first, IDC["BENCH_START"]))
    check((text_of(first, IDC["BENCH_RESULT"]) or "") == "000.0 MB/s",
          "results start cleared (%r)" % text_of(first, IDC["BENCH_RESULT"]))
    check(not running["ctl"].get(IDC["BENCH_START"], {}).get("enabled", True),
          "Start is disabled while the run goes on")
    check(running["ctl"].get(IDC["BENCH_STOP"], {}).get("enabled", False), "Stop is enabled while it runs")
    enabled = [l for b in blocks_of(blocks, "enabled:%d:240" % IDC["BENCH_START"]) for l in b["lines"]]
    check(enabled == ["enabled 1"], "the run ended within 240 s (%r)" % enabled)
    figure = re.compile(r"^\d+(\.\d+)? MB/s$")
    figures = [text_of(done, IDC["BENCH_RESULT"] + i) or "" for i in (2, 3)]
    check(all(figure.match(f) and f != "000.0 MB/s" for f in figures),
          "a figure for each test: %r" % figures)
    check([text_of(done, IDC["BENCH_RESULT"] + i) for i in (0, 1)] == ["000.0 MB/s"] * 2,
          "the sequential boxes stay clear")
    row = [text_of(done, IDC["BENCH_HISTORY"] + 9 + c) for c in range(3)]
    check(row == ["%s:" % letter] + ["%s: %s" % (letter, f) for f in figures],
          "the random table's first row %r" % row)
    check(IDC["BENCH_HISTORY"] + 12 not in done["ctl"], "the second history row stays hidden")
    check((text_of(done, IDC["BENCH_STATUS"]) or "") == "", "the status line is empty at the end")
    check(os.listdir(drive) == [], "the test folder is removed: %r" % os.listdir(drive))
    data = open(report_path, "rb").read() if os.path.exists(report_path) else b""
    check(data[:2] == b"\xff\xfe", "the report is UTF-16LE with a byte-order mark")
    text = data[2:].decode("utf-16-le", "replace")
    lines = text.split("\r\n")
    check(lines[0] == "[Vardex] Performance Test of File Benchmark", "report title %r" % lines[:1])
    check("          Device : %s: [" % letter in text, "the report names the drive")
    check("      Test Range : 50 MB\r\n            Loop : 1\r\n" in text, "the report's size and loops")
    values = [f.split()[0] for f in figures]
    got = re.findall(r"Random (?:Read|Write) \(Q  1 T 1\) : +([\d.]+)", text)
    check(len(got) == 2 and all(abs(float(g) - float(v)) < 0.1 for g, v in zip(got, values)),
          "the report's Q1 T1 figures %r vs the pane's %r" % (got, values))
    print("benchmark pane run: %.1f s" % took)


def main():
    for exe in ["StavrionGui.exe", "GuiReader.exe", "stavrion.exe"]:
        if not os.path.exists(os.path.join(BUILD, exe)):
            print("gui-test: %s missing in %s" % (exe, BUILD))
            return 1
    t0 = time.time()
    ensure_prefix()
    # The benchmark's drive, known to the server that starts now (a server
    # still running from an earlier run is waited for, not killed).
    bench = bench_drive(tempfile.mkdtemp(prefix="stavrion-gui-bench-"))
    subprocess.run(["wineserver", "-w"], env=wine_env())
    try:
        return run_checks(t0, bench)
    finally:
        if bench[2]:
            os.unlink(bench[2])
        shutil.rmtree(os.path.dirname(bench[1]), ignore_errors=True)


def run_checks(t0, bench):
    set_dpi(96)
    subprocess.run(["wineserver", "-p60"], env=wine_env())
    folder = stage({"Language": "English", "ZoomType": "100"})
    disks = report(folder)
    check(len(disks) >= 9, "the demo machine has more than one page of disks (%d)" % len(disks))

    with Display() as display:
        if os.environ.get("GUI_TEST_ONLY") == "settings":
            # One pane's checks alone, while working on it.
            check_settings(display)
            print("gui-test: %d checks, %d failed, %.1f s" % (CHECKS, len(FAILURES), time.time() - t0))
            return 1 if FAILURES else 0
        # English at 100 %: every disk against the report, keys, buttons, the pane.
        steps = ["start:--machine demo", "dump"]
        # Walk every disk with "next" from the first one.
        steps += ["click:%d" % IDC["DISK_FIRST"]]
        steps += ["dump"]
        for i in range(1, len(disks)):
            steps += ["click:%d" % IDC["NEXT"], "dump"]
        steps += ["key:F5", "dump", "key:F6", "dump", "click:%d" % (IDC["DISK_FIRST"] + 1), "dump",
                  "key:F9", "list", "pick:0", "list", "key:ESC", "dump", "click:%d" % IDC["SMART_VIEW"],
                  "list", "close"]
        blocks, took, raw = run_reader(display, folder, steps)
        check(raw.strip().endswith("done ok"), "English run ended: " + raw.strip()[-200:])
        starts = [l for b in blocks_of(blocks, "start:--machine demo") for l in b["lines"]]
        check(any(l == 'window "Vardex" class Stavrion' for l in starts),
              "main window of class Stavrion titled Vardex: %r" % starts)
        dumps = blocks_of(blocks, "dump")
        if len(dumps) >= len(disks) + 1:
            first = dumps[0]
            check(text_of(first, IDC["VERSION"]) == "ver 4.0.2", "version text")
            check(IDC["NOT_YET"] not in first["ctl"], "no 'not yet' line: every pane is there")
            labels = [text_of(first, IDC["FIELD_LABEL"] + i) for i in range(len(FIELDS))]
            check(labels[:3] == ["Model", "Firmware", "Serial Number"], "English labels %r" % labels)
            for i, disk in enumerate(disks):
                check_panel(dumps[1 + i], disk, "disk %d" % (i + 1))
            last = dumps[len(disks)]
            check(not last["ctl"][IDC["NEXT"]]["enabled"], "next is disabled on the last disk")
            captions = [text_of(last, IDC["DISK_FIRST"] + p) for p in range(8)]
            check(any(c for c in captions), "disk buttons of the last page have captions")
            after_f5, after_f6, button2 = dumps[len(disks) + 1: len(disks) + 4]
            check_panel(after_f5, disks[-1], "after F5")
            check_panel(after_f6, disks[-1], "after F6 (the selection stays)")
            page = (len(disks) - 1) // 8
            check_panel(button2, disks[page * 8 + 1], "second button of the last page")
            lists = [b for b in blocks if b["step"] == "list"]
            check(len(lists) == 3, "three lists read")
            if len(lists) == 3:
                d = disks[page * 8 + 1]
                ids = [r[1] for r in lists[0]["rows"] if r[1] != "--"]
                check(ids == d["attributes"], "detail rows of the selected disk: %r vs %r" % (ids, d["attributes"]))
                check(lists[0].get("head", [])[1:3] == ["ID", "Attribute Name"], "list headings %r" % lists[0].get("head"))
                ids0 = [r[1] for r in lists[1]["rows"] if r[1] != "--"]
                check(ids0 == disks[0]["attributes"], "detail rows after picking disk 1")
                check(all(r[0] in "01234" for r in lists[1]["rows"]), "row icons 0-4")
                check(len(lists[2]["rows"]) > 0, "the pane opens again after Escape")
            back = dumps[-1]
            check(IDC["TITLE"] in back["ctl"], "Escape in the pane shows the panel again")
        else:
            check(False, "every step dumped (%d of %d)" % (len(dumps), len(disks) + 4))
        check(any(l == "exit 0" for b in blocks_of(blocks, "close") for l in b["lines"]),
              "the program ends with status 0 on close")
        print("English run: %.1f s, %d steps" % (took, len(steps)))

        check_settings(display)
        check_graph(display)
        check_rates(display)
        check_memory(display)
        check_performance(display)
        check_about(display)
        check_benchmark(display, bench)
        # The system-information pane (F8): the record's rows as the report
        # prints them, then model and serial number of every disk.
        system = subprocess.run(["wine", os.path.join(folder, "stavrion.exe"), "report", "--machine",
                                 "demo", "--system", "--json"], env=wine_env(),
                                stdout=subprocess.PIPE, timeout=120).stdout.decode("utf-8", "replace")
        record = json.loads(system).get("SystemInfo", {}) if system.strip().startswith("{") else {}
        check(bool(record), "the report's system information")
        blocks, took, raw = run_reader(display, folder, ["start:--machine demo", "key:F8", "list",
                                                         "key:ESC", "dump", "key:F8", "list", "close"])
        lists = [b for b in blocks if b["step"] == "list"]
        check(len(lists) == 2, "the system pane's list read twice (%d)" % len(lists))
        if lists and record:
            rows = lists[0]["rows"]
            check(lists[0].get("head", []) == ["Item", "Information"], "system list headings %r" % lists[0].get("head"))
            expected = [("Operating System", record["WindowsEdition"]), ("BIOS", record["Bios"]),
                        ("Processor", record["Cpu"]), ("Memory", record["Ram"]),
                        ("Motherboard", record["MotherBoard"]), ("Graphics", record["Graphics"]),
                        ("Network Adapter", record["NetCard"]), ("IP Address / Gateway", record["Ip"])]
            got = [(r[-1], r[1]) for r in rows[:8]]
            check(got == [(k, v.strip()) for k, v in expected] or got == expected,
                  "system rows %r vs %r" % (got, expected))
            check(len(rows) == 8 + 2 * len(disks), "two rows per disk (%d rows)" % len(rows))
            models = [r[1] for r in rows[8::2]]
            check(models[:1] == [disks[0].get("Model")], "first disk's model %r vs %r" % (models[:1], disks[0].get("Model")))
        dumps = blocks_of(blocks, "dump")
        check(bool(dumps) and IDC["TITLE"] in dumps[0]["ctl"], "Escape in the system pane shows the panel again")
        print("system pane run: %.1f s" % took)

        # German and Japanese: the labels change, nothing is cut off the window.
        for language, model_label, status_words in [("German", "Modell", ["Gut", "Vorsicht", "Schlecht", "Unbekannt", "N/A"]),
                                                    ("Japanese", "モデル", ["正常", "注意", "異常", "不明", "N/A"])]:
            folder = stage({"Language": language, "ZoomType": "100"})
            blocks, took, raw = run_reader(display, folder, ["start:--machine demo", "dump", "key:F9", "list", "close"])
            dumps = blocks_of(blocks, "dump")
            check(len(dumps) == 1, language + " run")
            if dumps:
                check(text_of(dumps[0], IDC["FIELD_LABEL"]) == model_label,
                      "%s label %r" % (language, text_of(dumps[0], IDC["FIELD_LABEL"])))
                check(text_of(dumps[0], IDC["STATUS"]) in status_words,
                      "%s status %r" % (language, text_of(dumps[0], IDC["STATUS"])))
            lists = [b for b in blocks if b["step"] == "list"]
            if lists:
                head = lists[0].get("head", [])
                check(len(head) == 7 and head[2] == {"German": "Attributname", "Japanese": "属性名"}[language],
                      "%s list headings %r" % (language, head))
            print("%s run: %.1f s" % (language, took))

        tray_run(display, disks)

        # Zoom through the settings file and through the DPI.
        for zoom, dpi in [("100", 96), ("150", 96), ("200", 96), ("0", 144)]:
            set_dpi(dpi)
            folder = stage({"Language": "German", "ZoomType": zoom})
            blocks, took, raw = run_reader(display, folder, ["start:--machine demo", "dump", "close"])
            starts = [l for b in blocks_of(blocks, "start:--machine demo") for l in b["lines"]]
            client = next((tuple(int(v) for v in l.split()[1:3]) for l in starts if l.startswith("client ")), None)
            percent = int(zoom) if zoom != "0" else dpi * 100 // 96
            check(client == (1022 * percent // 100, 784 * percent // 100),
                  "client area at zoom %s, %d dpi: %r" % (zoom, dpi, client))
            dumps = blocks_of(blocks, "dump")
            if dumps and client:
                check_layout(dumps[0], client, "zoom %s" % zoom)
            print("zoom %s (%d dpi) run: %.1f s" % (zoom, dpi, took))
        set_dpi(96)

    print("gui-test: %d checks, %d failed, %.1f s" % (CHECKS, len(FAILURES), time.time() - t0))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
