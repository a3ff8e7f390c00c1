#!/usr/bin/env python3
"""The window program under Wine on a virtual X display.

Starts StavrionGui.exe on the demo machine inside a Wine virtual desktop on
Xvfb, drives it with GuiReader.exe (keys, clicks, the disk selector) and
checks what its controls say against `stavrion report` of the same machine:
every disk's model, serial number, firmware, status, life and temperature;
F5 and F6; the disk buttons and the page buttons; the S.M.A.R.T. detail pane
and its rows; the graph pane on a year of history written for the demo
machine (scripts/demo-history.py): the latest readings, the reduction to at
most 1000 points, the live view, the item coming back after it, a point's
label under the pointer, the box for an item without history, the pane at
150 % and 200 %; the benchmark pane: a run, exits refused while it runs, Stop,
a missing load generator's box; Escape in
the panes and leaving the program; the splash window while the program
starts, the tooltips of the disk buttons, the title and the main buttons, and
a button's hover frame; German and Japanese texts; 150 % and
200 % zoom without overlapping controls; in resident mode the
notification-area icons with their tooltips as the shell shows them, an
alarm's balloon, the status registry tree, the history files a refresh
writes, and a start hidden until the main icon is clicked; an alarm in
the program: its mail delivered by a real mail server on the loopback (Exim,
STARTTLS with AUTH; skipped when Exim is not installed unless
STAVRION_REQUIRE_EXIM is set), and its balloon, event-log record and sound
as the program handed them to the system (--delivery-log) and as Wine's
traces show the calls; the settings
pane: its pages, alarm fields with hostile values, the colour palette, a test
mail refused by a local server, Save and the file it writes, its values read
again after a tray-menu change, a language change and clearing one disk's
history; and a machine folder built from fixtures, which no other run uses
(its own disks, a real firmware table, other system rows), with every pane
opened on it at 150 %: the panel of each disk against that machine's report,
the memory modules against dmidecode's reading of the table, the system rows,
the detail rows, no pane's controls overlapping or outside the window.

    scripts/gui-test.py [BUILD_DIR]        (default build/windows)
    GUI_TEST_ONLY=settings scripts/gui-test.py   (the settings pane alone)
    GUI_TEST_ONLY=unseen scripts/gui-test.py     (the machine built from fixtures alone)
    GUI_TEST_ONLY=alarm scripts/gui-test.py      (the alarm run alone)
    GUI_TEST_ONLY=graph scripts/gui-test.py      (the graph pane alone; also benchmark)
    GUI_TEST_ONLY=skin scripts/gui-test.py       (splash, tooltips and hover alone)
    GUI_TEST_ONLY=status scripts/gui-test.py     (the status service alone)

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
           READ_RATE=1116, WRITE_RATE=1117, TOTAL_RATE=1118, LOAD_IMAGE=1123, READ_PERCENT=1119, WRITE_PERCENT=1120,
           PERFORMANCE_VIEW=1032, PERFORMANCE_CAPTION=1470, PERFORMANCE_GAUGE=1475,
           PERFORMANCE_TEXT=1480, MEMORY_SLOT=1420, MEMORY_USAGE_GAUGE=1422, MEMORY_USED=1423,
           MEMORY_GRADE_GAUGE=1424, MEMORY_LABEL=1430, MEMORY_VALUE=1450,
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
           SETTINGS_COLOUR=1846, SETTINGS_ABOVE_CHOICE=1847, SETTINGS_MAIL_EDIT=1856,
           SETTINGS_ABOUT=1870)
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


def run_reader(display, folder, steps, debug=None):
    """Runs the reader's steps; with `debug` (Wine debug channels) the Wine
    processes' traces are kept in the folder's "wine-trace.txt"."""
    out = os.path.join(folder, "reader.txt")
    cmd = ["wine", "explorer", "/desktop=stavrion,1900x1260",
           "Z:" + os.path.join(folder, "GuiReader.exe").replace("/", "\\"),
           "--out", "Z:" + out.replace("/", "\\")] + steps
    start = time.time()
    env = wine_env(display.name)
    if debug:
        env["WINEDEBUG"] = debug
    with open(os.path.join(folder, "wine-trace.txt"), "wb") if debug else \
            open(os.devnull, "wb") as trace:
        subprocess.run(cmd, env=env, timeout=180, stdout=subprocess.DEVNULL, stderr=trace)
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


def report(folder, machine="demo"):
    out = subprocess.run(["wine", os.path.join(folder, "stavrion.exe"), "report", "--machine",
                          machine], env=wine_env(), stdout=subprocess.PIPE, timeout=120).stdout
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


EXIM = "/usr/sbin/exim4"


class EximServer:
    """A real mail server on the loopback (scripts/exim-test-mta.sh): STARTTLS
    with AUTH LOGIN on one port, implicit TLS on another, its certificate in
    `cert`, what it delivers in `maildir`. `missing` tells why none runs."""

    def __enter__(self):
        self.missing = None
        self.dir = None
        if not os.access(EXIM, os.X_OK):
            self.missing = "Exim is not installed (scripts/install-packages.sh exim4-daemon-heavy)"
            return self
        self.dir = tempfile.mkdtemp(prefix="stavrion-gui-exim-")
        os.chmod(self.dir, 0o755)  # Exim works as its own user
        ports = []
        for _ in range(2):
            with socket.socket() as s:
                s.bind(("127.0.0.1", 0))
                ports.append(s.getsockname()[1])
        self.port, self.tls_port = ports
        self.script = os.path.join(ROOT, "scripts/exim-test-mta.sh")
        started = subprocess.run(["bash", self.script, "start", self.dir, str(self.port),
                                  str(self.tls_port)], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        if started.returncode != 0:
            self.missing = "Exim did not start (its log is in %s/log)" % self.dir
        self.cert = os.path.join(self.dir, "cert.pem")
        self.maildir = os.path.join(self.dir, "Maildir", "new")
        return self

    def delivered(self, marker, wait=15.0):
        """The messages holding `marker`, as parsed mails, waiting up to `wait` s."""
        import email
        import email.policy
        end = time.time() + wait
        while True:
            found = []
            for name in sorted(os.listdir(self.maildir)) if os.path.isdir(self.maildir) else []:
                with open(os.path.join(self.maildir, name), "rb") as f:
                    data = f.read()
                mail = email.message_from_bytes(data, policy=email.policy.default)
                if marker in str(mail["Subject"]) or marker in data.decode("latin-1"):
                    found.append(mail)
            if found or time.time() > end:
                return found
            time.sleep(0.2)

    def __exit__(self, *args):
        if self.dir:
            subprocess.run(["bash", self.script, "stop", self.dir], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            if not os.environ.get("GUI_TEST_KEEP"):
                shutil.rmtree(self.dir, ignore_errors=True)


def read_delivery_log(path):
    """The window program's --delivery-log: (kind, fields) per line."""
    lines = []
    if os.path.exists(path):
        for line in open(path, encoding="utf-8", errors="replace").read().splitlines():
            fields = [unescape(f) for f in line.split("\t")]
            lines.append((fields[0], fields[1:]))
    return lines


def alarm_run(display, disks):
    """An alarm in the real window program: the first disk's upper
    temperature limit below its temperature, every channel on. Its mail must
    reach a real mail server over STARTTLS with AUTH; the balloon, the
    event-log record and the sound are read from what the program handed to
    Shell_NotifyIconW, ReportEventW and PlaySoundW (its --delivery-log) and
    from Wine's own traces of those calls."""
    folder = stage(tray_settings("1"))
    keys = model_serials(folder)
    if not keys or not disks:
        check(False, "the alarm run needs the demo disks: %d keys, %d disks" % (len(keys), len(disks)))
        return
    disk = disks[0]
    with EximServer() as mta:
        if mta.missing:
            if os.environ.get("STAVRION_REQUIRE_EXIM"):
                check(False, "alarm mail: " + mta.missing)
            else:
                print("gui-test: alarm mail SKIPPED: " + mta.missing)
        settings = tray_settings("1")
        # The program's diagnostic log tells what became of the mail.
        settings.update(AlertSound="1", SmartLog="1", DebugMode="1")
        if not mta.missing:
            settings.update(MailTo="admin@localhost", MailFrom="stavrion@localhost",
                            MailHost="localhost", MailPort=str(mta.port), SMTP="1",
                            MailID="testuser", MailPassword="testpass", MailSecurity="1",
                            MailTrustFile="Z:" + mta.cert.replace("/", "\\"))
        folder = stage(settings, {"AlarmTemperature": {keys[0]: "20"},
                                  "AlarmEmail": {keys[0]: "1"}, "AlarmEventLog": {keys[0]: "1"}})
        log = os.path.join(folder, "delivery.txt")
        steps = ["start:--machine demo --delivery-log Z:" + log.replace("/", "\\"), "tray",
                 "key:F5", "wait:1000", "close"]
        t0 = time.time()
        blocks, took, raw = run_reader(display, folder, steps,
                                       debug="-all,err+all,fixme+advapi,warn+eventlog,trace+eventlog,"
                                             "+winmm")
        check(raw.strip().endswith("done ok"), "alarm run ended: " + raw.strip()[-200:])
        delivery = read_delivery_log(log)
        temperature = re.match(r"^(-?\d+) ", disk.get("Temperature", ""))
        line_re = r"Temperature: (-?\d+) C"
        header = "(1) %s / %s / " % (disk["Model"], disk.get("Serial number", ""))

        # (1) The mail, in the file the real server delivered.
        if not mta.missing:
            mails = mta.delivered("[606]")
            check(len(mails) == 1, "one temperature alarm mail delivered by Exim: %d (%s)" %
                  (len(mails), os.listdir(mta.maildir) if os.path.isdir(mta.maildir) else "-"))
            if mails:
                m = mails[0]
                subject = str(m["Subject"])
                body = m.get_content()
                check(subject.startswith("[StavrionGui] ") and header in subject and
                      subject.endswith(" [606]"), "alarm mail subject %r" % subject)
                check(str(m["To"]) == "admin@localhost" and str(m["From"]) == "stavrion@localhost",
                      "alarm mail addresses %r %r" % (m["From"], m["To"]))
                check(header in body and "[606] " in body and re.search(line_re, body) is not None,
                      "alarm mail body names the disk and the alarm: %r" % body)
                # Exim's own account of the message: protocol, TLS, login.
                mainlog = open(os.path.join(mta.dir, "log", "mainlog"), encoding="utf-8",
                               errors="replace").read()
                arrived = [l for l in mainlog.splitlines() if " <= stavrion@localhost " in l]
                check(len(arrived) == 1 and " P=esmtpsa " in arrived[0] and " X=TLS" in arrived[0]
                      and " A=login:testuser " in arrived[0],
                      "the mail came over STARTTLS with AUTH LOGIN: %r" % arrived)
            results = [f for kind, f in delivery if kind == "mail"]
            check(results == [["1", "sent"]], "the program counts the mail sent: %r" % results)

        # (2) The balloons as the program handed them to Shell_NotifyIconW.
        balloons = [f for kind, f in delivery if kind == "balloon"]
        disk_balloons = [b for b in balloons if b[2] == "Health status alarm"]
        check(len(disk_balloons) == 1, "one alarm balloon of the first disk: %r" % balloons)
        if disk_balloons:
            icon, flags, title, text, ok = disk_balloons[0]
            check(flags == "2", "the alarm balloon carries the warning icon (NIIF_WARNING): %r" % flags)
            check(text.startswith("(1) %s\n" % disk["Model"]) and re.search(line_re, text),
                  "alarm balloon text %r" % text)
            check(ok == "1", "the shell took the alarm balloon")
        overview = [b for b in balloons if b[2] == "Temperature"]
        check(len(overview) >= 1 and overview[0][1] == "2" and
              overview[0][3].startswith("(1) %s [" % disk["Model"]),
              "the temperature overview's balloon at start: %r" % overview)
        shown = [l for b in blocks_of(blocks, "tray") for l in b["lines"]
                 if l.startswith("balloon ") and l != "balloon none"]
        check(any(disk["Model"] in unescape(l) for l in shown),
              "the shell shows a balloon naming the disk: %r" % shown)

        # (3) The event-log record: one warning with the disk header and the line.
        events = [f for kind, f in delivery if kind == "event"]
        check(len(events) == 1 and events[0][:2] == ["2", "606"],
              "one warning record 606 in the event log: %r" % events)
        if events:
            check(events[0][2].startswith(header) and re.search(line_re, events[0][2]),
                  "event record text %r" % events[0][2])
        trace = open(os.path.join(folder, "wine-trace.txt"), encoding="utf-8",
                     errors="replace").read()
        # Wine's ReportEventW names the call with the identifier it was given
        # (606 with the customer and severity bits) and logs each line.
        reported = [l for l in trace.splitlines() if "ReportEventW" in l]
        check(any("0x8000025e" in l for l in reported),
              "Wine saw ReportEventW with event 0x8000025e: %r" % reported[:3])
        logged = [l for l in trace.splitlines() if ":eventlog:ReportEventW " in l]
        check(len(logged) == 1 and re.search(line_re, logged[0]) is not None and
              disk["Model"] in logged[0], "Wine's event log trace holds the record: %r" % logged)

        # (4) The alert sound: the temperature alarm's, the built-in sound.
        sounds = [f for kind, f in delivery if kind == "sound"]
        # No decoder beside the program: the built-in WAV sound, once.
        check(len(sounds) == 1 and sounds[0][:2] == ["606", "builtin-wav"],
              "the alert sound of alarm 606 is played once: %r" % sounds)
        # The built-in sound by its resource name (Wine has no sound device
        # here, so the call itself is what can be seen).
        played = [l for l in trace.splitlines() if "proc_PlaySound SoundName=" in l]
        check(len(played) >= 1 and all('L"QVN_SOUND_WAV"' in l for l in played),
              "Wine saw PlaySoundW with the built-in sound: %r" % played[:3])
        print("alarm run: %.1f s (program %.1f s); sounds %r" % (time.time() - t0, took, sounds))


STATUS_PORT = 8888


class StatusPeer:
    """The local status service the program talks to when "TslOpt" has bit
    0x8000: a listening socket on 127.0.0.1:8888 that accepts every
    connection, answers each disk line with a short reply (or, with
    `close_after`, ends the connection after that many bytes) and keeps what
    it received."""

    def __init__(self, close_after=None):
        self.close_after = close_after
        self.data = b""
        self.connections = 0
        self.error = None
        self.stop = threading.Event()
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        # Another run may hold the port for a moment: wait for it.
        end = time.time() + 60
        while True:
            try:
                self.sock.bind(("127.0.0.1", STATUS_PORT))
                break
            except OSError as e:
                if time.time() > end:
                    self.error = "127.0.0.1:%d is taken: %s" % (STATUS_PORT, e)
                    return
                time.sleep(1)
        self.sock.listen(4)
        self.sock.settimeout(0.2)
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while not self.stop.is_set():
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                continue
            self.connections += 1
            conn.settimeout(0.2)
            with conn:
                while not self.stop.is_set():
                    try:
                        chunk = conn.recv(4096)
                    except socket.timeout:
                        continue
                    if not chunk:
                        break
                    self.data += chunk
                    if self.close_after is not None and len(self.data) >= self.close_after:
                        break
                    if not self.data.endswith(b"END"):
                        conn.sendall(b"OK")

    def close(self):
        self.stop.set()
        if not self.error:
            self.thread.join()
        self.sock.close()


def status_cycles(data):
    """The cycles the status service received: lists of disk lines, each
    split into its eleven fields. The lines carry no line ends: a line
    starts with "127.0.0.1,1," or "127.0.0.2,2," and a cycle ends in "END"."""
    text = data.decode("latin-1")
    cycles, current = [], []
    for piece in re.split(r"(?=127\.0\.0\.1,1,|127\.0\.0\.2,2,)", text):
        ended = piece.endswith("END")
        line = piece[:-3] if ended else piece
        if line:
            current.append(line.split(","))
        if ended:
            cycles.append(current)
            current = []
    return cycles


def demo_disk_records(folder):
    """The demo machine's disk records as `stavrion report --json` gives them."""
    out = subprocess.run(["wine", os.path.join(folder, "stavrion.exe"), "report", "--machine",
                          "demo", "--json"], env=wine_env(), stdout=subprocess.PIPE,
                         timeout=120).stdout
    return json.loads(out.decode("utf-8", "replace")).get("Disks", [])


def status_field(text):
    """A model or serial as a status line carries it (',' and control bytes
    become blanks, bytes outside ASCII '?')."""
    return "".join(" " if c == "," or ord(c) < 0x20 or ord(c) == 0x7F else
                   ("?" if ord(c) > 0x7E else c) for c in text)


def status_run(display):
    """The status service of the real program: with "TslOpt" 8000 a service
    on 127.0.0.1:8888 gets, every second, one line per maker disk in the
    disks' order and "END"; without the bit nothing connects; a service that
    goes away stops it for the rest of the run, said in the diagnostic log,
    with no new connection and the window still answering."""
    folder = stage({"Language": "English", "ZoomType": "100"})
    records = demo_disk_records(folder)
    makers = [(i, r) for i, r in enumerate(records) if r.get("SupportLevel", 0) != 0]
    check(len(makers) >= 2, "the demo machine has maker disks for the status service: %d" %
          len(makers))

    # (1) On: lines every second, answered.
    peer = StatusPeer()
    if peer.error:
        check(False, "status service: " + peer.error)
        return
    try:
        folder = stage({"Language": "English", "ZoomType": "100", "TslOpt": "8000"})
        blocks, took, raw = run_reader(display, folder, ["start:--machine demo", "wait:3500",
                                                         "dump", "close"])
    finally:
        peer.close()
    check(raw.strip().endswith("done ok"), "status run ended: " + raw.strip()[-200:])
    check(peer.connections == 1, "the program connected once to the status service: %d" %
          peer.connections)
    cycles = status_cycles(peer.data)
    check(len(cycles) >= 2, "two or more status cycles in 3.5 s: %d (%r)" %
          (len(cycles), peer.data[:300]))
    ram = None
    for n, cycle in enumerate(cycles):
        want = [("127.0.0.1" if i == 0 else "127.0.0.2", "1" if i == 0 else "2",
                 status_field(r["Model"]), status_field(r["SerialNumber"])) for i, r in makers]
        got = [tuple(line[:4]) for line in cycle]
        check(got == want, "status cycle %d: the maker disks in order: %r vs %r" % (n, got, want))
        for line in cycle:
            numbers = line[4:]
            check(len(line) == 11 and all(re.match(r"^-?\d+$", v) for v in numbers),
                  "a status line of eleven fields, numbers at the end: %r" % line)
            if len(line) == 11:
                ram = ram or line[10]
    if cycles and cycles[0]:
        first = {tuple(l[2:4]): l for l in cycles[0]}
        for i, r in makers:
            line = first.get((status_field(r["Model"]), status_field(r["SerialNumber"])))
            if line and len(line) == 11:
                check(line[4] == str(r["Temperature"]) and line[5] == str(r["Life"]),
                      "status line of %s: temperature and life %r vs %r" %
                      (r["Model"], line[4:6], (r["Temperature"], r["Life"])))
    check(ram is not None and int(ram) > 0, "the status lines carry the installed memory: %r" % ram)
    print("status run: %.1f s, %d cycles" % (took, len(cycles)))

    # (2) Off: nobody connects.
    peer = StatusPeer()
    if peer.error:
        check(False, "status service: " + peer.error)
        return
    try:
        folder = stage({"Language": "English", "ZoomType": "100", "TslOpt": "4000"})
        blocks, took, raw = run_reader(display, folder, ["start:--machine demo", "wait:2500",
                                                         "close"])
    finally:
        peer.close()
    check(raw.strip().endswith("done ok"), "status-off run ended: " + raw.strip()[-200:])
    check(peer.connections == 0 and peer.data == b"",
          "without bit 0x8000 nothing connects to 127.0.0.1:8888: %d, %r" %
          (peer.connections, peer.data[:100]))

    # (3) The service goes away after the first line: stopped, said, not
    # connected again; the window still answers.
    peer = StatusPeer(close_after=1)
    if peer.error:
        check(False, "status service: " + peer.error)
        return
    try:
        folder = stage({"Language": "English", "ZoomType": "100", "TslOpt": "8000",
                        "DebugMode": "1"})
        blocks, took, raw = run_reader(display, folder, ["start:--machine demo", "wait:3000",
                                                         "key:F5", "dump", "close"])
    finally:
        peer.close()
    check(raw.strip().endswith("done ok"), "status-failure run ended: " + raw.strip()[-200:])
    check(peer.connections == 1, "no new connection after the service went away: %d" %
          peer.connections)
    dumps = blocks_of(blocks, "dump")
    check(bool(dumps) and IDC["TITLE"] in dumps[0]["ctl"],
          "the window answers after the status service stopped")
    log_path = os.path.join(folder, "StavrionGui.log")
    log = open(log_path, encoding="utf-8", errors="replace").read() \
        if os.path.exists(log_path) else ""
    check(log.count("Send disk status failed, stop service...") == 1,
          "the diagnostic log says once that the status service stopped: %r" %
          [l for l in log.splitlines() if "tatus" in l])


# The second disk's volumes: letter, label, total and free MB.
VOLUMES = [("G", "Data", 307200, 153600), ("H", "Backup", 169000, 16900)]


def two_disk_machine(folder):
    """A machine folder of two of the demo machine's disks (one without a
    temperature), small enough for the main icon's longest tooltip."""
    machine = os.path.join(folder, "machine")
    os.makedirs(machine)
    for name in ["intel-ssd", "wdc-hdd"]:
        shutil.copytree(os.path.join(ROOT, "fixtures/machines/demo", name), os.path.join(machine, name))
    # The demo machine's memory table (without one the program says so in a box).
    shutil.copy(os.path.join(ROOT, "fixtures/machines/demo/smbios.bin"), machine)
    with open(os.path.join(machine, "machine.ini"), "w") as f:
        f.write("[machine]\nversion = 2\nos = 10.0.19045\narchitecture = x64\ncpu = Simulated CPU\n"
                "memory = 16384\nsmbios = smbios.bin\nsmbios_version = 3.0\n\n[disk intel-ssd]\nphysical_drive = 0\nletters = C\n\n"
                "[disk wdc-hdd]\nphysical_drive = 1\nletters = G, H\n" +
                "".join("volume.%s = %s, %d, %d\n" % v for v in VOLUMES))
    return "Z:" + machine.replace("/", "\\")


def tooltip_size_run(display):
    """The main icon's tooltip in its longest form names each disk's size
    (MB below 1024 MB, else GB with one decimal) beside model, status and
    temperature, as the shell shows it."""
    folder = stage(tray_settings("0", event_log="0"))
    machine = two_disk_machine(folder)
    out = subprocess.run(["wine", os.path.join(folder, "stavrion.exe"), "report", "--machine",
                          machine], env=wine_env(), stdout=subprocess.PIPE, timeout=120).stdout
    disks = []
    for line in out.decode("utf-8", "replace").splitlines():
        m = re.match(r"^\((\d+)\) ", line)
        if m:
            disks.append({})
        m = re.match(r"^  ([A-Za-z -]+?)\s*: (.*)$", line)
        if m and disks:
            disks[-1][m.group(1)] = m.group(2)
    check(len(disks) == 2, "the two-disk machine's report: %d disks" % len(disks))
    blocks, took, raw = run_reader(display, folder, ["starthidden:--machine " + machine, "tray",
                                                     "close"])
    check(raw.strip().endswith("done ok"), "two-disk resident run ended: " + raw.strip()[-200:])
    tips = [unescape(l[4:]) for b in blocks_of(blocks, "tray") for l in b["lines"]
            if l.startswith("tip ")]
    lines = []
    for i, disk in enumerate(disks):
        mb = int(re.search(r"\((\d+) MB\)", disk.get("Capacity", "")).group(1))
        size = "%d MB" % mb if mb < 1024 else "%.1f GB" % (mb / 1024.0)
        status = re.sub(r"^N/A \((.*)\)$", r"\1", disk.get("Status", ""))
        line = "(%d) %s %s [%s]" % (i + 1, disk.get("Model"), size, status)
        t = re.match(r"^(-?\d+)\u00b0C", disk.get("Temperature", ""))
        if t and int(t.group(1)) > 0:
            line += " %s C" % t.group(1)
        lines.append(line)
    want = "\r\n".join(lines)
    check(want in tips, "the main icon's tooltip with the disks' sizes: %r, expected %r" % (tips, want))
    # The temperature icon: the disk, then each drive letter with its
    # volume's label, free and total space.
    t = re.match(r"^(-?\d+)\u00b0C", disks[1].get("Temperature", "")) if len(disks) > 1 else None
    if t:
        want = "(2) %s [%s] %s \u00b0C\r\n" % (disks[1]["Model"], re.sub(
            r"^N/A \((.*)\)$", r"\1", disks[1].get("Status", "")), t.group(1))
        want += "\r\n".join("%s: %s [%.1f/%.1f GB (%.1f %%)]" % (letter, label, free / 1024.0,
                                                                 total / 1024.0, 100.0 * free / total)
                             for letter, label, total, free in VOLUMES)
        check(want in tips, "the temperature icon's tooltip with the volumes' space: %r, expected %r"
              % (tips, want))
    else:
        check(False, "the second disk has a temperature: %r" % disks[1:])
    print("two-disk resident run: %.1f s" % took)


def check_skin(display):
    """The skinned window itself: the splash window while the program starts
    (its picture's size and shape, the start-up texts in order, gone once the
    window shows), the tooltips of a disk button and of the panel title (the
    disk, its size and its volumes' space) and of the main buttons, and a
    disk button's hover frame, on and off, as the button says it draws it."""
    english = read_ini(os.path.join(ROOT, "resources/TslResource/language/English.lang"))
    folder = stage({"Language": "English", "ZoomType": "100"})
    machine = two_disk_machine(folder)
    out = subprocess.run(["wine", os.path.join(folder, "stavrion.exe"), "report", "--machine",
                          machine], env=wine_env(), stdout=subprocess.PIPE, timeout=120).stdout
    models, sizes = [], []
    for line in out.decode("utf-8", "replace").splitlines():
        m = re.match(r"^  Model\s*: (.*)$", line)
        if m:
            models.append(m.group(1))
        m = re.match(r"^  Capacity\s*: .*\((\d+) MB\)", line)
        if m:
            sizes.append(int(m.group(1)))
    check(len(models) == 2 and len(sizes) == 2, "the two-disk machine's report: %r %r" % (models, sizes))
    first, second = IDC["DISK_FIRST"], IDC["DISK_FIRST"] + 1
    main = [("REFRESH", english["dialog"]["refresh"]), ("RESCAN", english["dialog"]["rescan"]),
            ("SMART_VIEW", english["tips"]["smart_button"]), ("GRAPH_VIEW", english["tips"]["graphs_button"]),
            ("ABOUT_BUTTON", english["dialog"]["about"])]
    steps = (["start:--machine " + machine, "click:%d" % first, "tip:%d" % second, "click:%d" % second,
              "tip:%d" % IDC["TITLE"]] + ["tip:%d" % IDC[name] for name, _ in main] +
             ["hover:%d" % first, "hover:%d" % second, "key:F9", "key:ESC", "key:F9", "key:ESC", "dump",
              "close"])
    blocks, took, raw = run_reader(display, folder, steps)
    check(raw.strip().endswith("done ok"), "skin run ended: " + raw.strip()[-200:])
    start = [l for b in blocks_of(blocks, "start:--machine " + machine) for l in b["lines"]]
    splash = {l.split()[1]: l.split(" ", 2)[2] for l in start if l.startswith("splash ") and " " in l[7:]}
    check(splash.get("size") == "1040 680 topmost 1 toolwindow 1 owner 1",
          "the splash window: the picture's size, topmost tool window of the main window: %r" % start)
    check(splash.get("region") == "complex 20 20 1020 660",
          "the splash window's shape leaves the magenta margin out: %r" % splash.get("region"))
    texts = [unescape(l[len("splash text "):]) for l in start if l.startswith("splash text ")]
    order = [english["message"][k] for k in ("initialize", "search_device", "load_resource")]
    shown = [t for t in texts if t]
    check(bool(shown) and all(t in order for t in shown) and
          [order.index(t) for t in shown] == sorted(order.index(t) for t in shown),
          "the splash shows the start-up texts in order: %r" % texts)
    check(splash.get("gone") == "1", "the splash window is gone once the window shows")
    # The second disk's button and, once it is selected, the title: its
    # letters with their volumes' label, free and total space.
    letters = "\r\n".join("%s: %s [%.1f/%.1f GB (%.1f %%)]" % (letter, label, free / 1024.0,
                                                               total / 1024.0, 100.0 * free / total)
                           for letter, label, total, free in VOLUMES) + "\r\n \r\n "
    tip = lambda step: [unescape(l[4:]) for b in blocks_of(blocks, step) for l in b["lines"]
                        if l.startswith("tip ")]
    if len(models) == 2:
        want = "Disk 1 : %s %.1f GB\n%s" % (models[1], sizes[1] / 1024.0, letters)
        check(tip("tip:%d" % second) == [want], "the disk button's tooltip: %r, expected %r"
              % (tip("tip:%d" % second), want))
    check(tip("tip:%d" % IDC["TITLE"]) == [letters], "the title's tooltip: %r, expected %r"
          % (tip("tip:%d" % IDC["TITLE"]), letters))
    for name, want in main:
        check(tip("tip:%d" % IDC[name]) == [want], "the %s button's tooltip: %r, expected %r"
              % (name, tip("tip:%d" % IDC[name]), want))
    # Hover: the first disk's button (not selected) shows frame 1 under the
    # pointer and frame 0 again after; the selected one 3, 1 and 3.
    for cid, rest in [(first, 0), (second, 3)]:
        lines = [l for b in blocks_of(blocks, "hover:%d" % cid) for l in b["lines"]]
        frames = [l for l in lines if l.startswith("frame ")]
        check(frames == ["frame before %d" % rest, "frame hover 1", "frame left %d" % rest],
              "the hover frame of disk button %d: %r" % (cid - first + 1, lines))
        check("left changed 0" in lines, "the button looks as before once the pointer left: %r" % lines)
    # The detail pane twice opened and left with Escape: the program still
    # answers and ends cleanly.
    dumps = blocks_of(blocks, "dump")
    check(bool(dumps) and IDC["TITLE"] in dumps[0]["ctl"], "Escape twice in the detail pane shows the panel")
    check(any(l == "exit 0" for b in blocks_of(blocks, "close") for l in b["lines"]),
          "the program ends with status 0 after the pane was left twice")
    print("skin run: %.1f s, splash texts %r" % (took, texts))


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


# The controls a pane is made of (its own dialog window holds them all).
PANE_CLASSES = ("Button", "Static", "ComboBox", "Edit", "SysListView32", "msctls_progress32",
                "msctls_updown32", "SysTabControl32")


def check_layout(block, client, what, least=40, classes=("Button", "Static")):
    """Every visible control (of `classes`) inside the client area, no two
    overlapping; more than `least` of them."""
    ctls = [(cid, c) for cid, c in block["ctl"].items()
            if c["cls"] in classes and c["w"] > 0]
    check(len(ctls) > least, "%s: the controls are there (%d)" % (what, len(ctls)))
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
    steps = ["start:--machine demo", "key:F10", chart, "dump", "hover:%d" % IDC["GRAPH_CHART"],
             "pick:%d:%d" % (IDC["GRAPH_DISK"], failing), chart,
             "pick:%d:5" % IDC["GRAPH_ITEM"], chart,
             "pick:%d:5" % IDC["GRAPH_INTERVAL"], chart, "dump",
             "key:F6", chart, "dump",
             "pick:%d:6" % IDC["GRAPH_INTERVAL"], chart, "dump",
             "pick:%d:1" % IDC["GRAPH_INTERVAL"], chart, "dump",
             "key:ESC", "dump", "click:%d" % IDC["GRAPH_VIEW"], chart,
             # No life history is written for any disk: the warning box.
             "pick:%d:1" % IDC["GRAPH_ITEM"], "msgbox:ok", chart, "close"]
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
    # The pointer over a point of the day's chart: its label appears beside
    # it, and goes when the pointer leaves.
    hover = [l for b in blocks_of(blocks, "hover:%d" % IDC["GRAPH_CHART"]) for l in b["lines"]]
    m = re.match(r"hover (\d+) (\d+) changed (\d+) box (-?\d+) (-?\d+) (-?\d+) (-?\d+)$",
                 hover[0] if hover else "")
    chart_box = first["ctl"].get(IDC["GRAPH_CHART"])
    if m and chart_box:
        x, y, n, left, top, right, bottom = (int(v) for v in m.groups())
        check(left <= x + 12 and right >= x - 12 and top <= y + 12 and bottom >= y - 12,
              "the hover label is at the pointer: %r" % hover[0])
        check(right - left < chart_box["w"] // 2 and bottom - top < chart_box["h"] // 3,
              "the hover draws a label, not a new chart: %r" % hover[0])
    else:
        check(False, "a point of the day's chart answers the pointer: %r" % hover)
    check(hover[1:] == ["left changed 0"], "the label goes with the pointer: %r" % hover[1:])
    # An item without history in the window: the warning box, and the chart
    # says so too.
    boxes = [unescape(l) for b in blocks_of(blocks, "msgbox:ok") for l in b["lines"]]
    check(boxes == ["msgbox Warning\tNo history of this figure in the chosen time."],
          "the no-history box: %r" % boxes)
    check(len(texts) > 8 and texts[8] == "Health Status: No history of this figure in the chosen time.",
          "the chart without history: %r" % texts[8:9])
    print("graph run: %.1f s (%s)" % (took, hover[0] if hover else "no hover"))
    return folder


def check_graph_zoom(display, folder):
    """The graph pane at 150 % and 200 %: its controls scaled with the pane,
    inside it and the window, none over another, the chart drawn."""
    ini = os.path.join(folder, "StavrionGui.ini")
    for zoom in (150, 200):
        text = open(ini, encoding="utf-8", errors="replace").read()
        text = re.sub(r"ZoomType=\d+", "ZoomType=%d" % zoom, text)
        # The item the earlier run chose is stored: temperature again.
        text = re.sub(r"SelectedAttributeId=\d+", "SelectedAttributeId=300", text)
        with open(ini, "w", encoding="utf-8") as f:
            f.write(text)
        chart = "text:%d" % IDC["GRAPH_CHART"]
        blocks, took, raw = run_reader(display, folder, ["start:--machine demo", "key:F10", chart,
                                                         "dump", "close"])
        what = "graph pane at %d %%" % zoom
        check(raw.strip().endswith("done ok"), "%s: run ended: %s" % (what, raw.strip()[-200:]))
        starts = [l for b in blocks_of(blocks, "start:--machine demo") for l in b["lines"]]
        client = next((tuple(int(v) for v in l.split()[1:3]) for l in starts
                       if l.startswith("client ")), None)
        texts = texts_of(blocks)
        dumps = blocks_of(blocks, "dump")
        if not dumps or not client or not texts:
            check(False, "%s: read (%r)" % (what, raw.strip()[-200:]))
            continue
        check(re.search(r": \d+ points of \d+ readings", texts[0]) is not None,
              "%s: the chart is drawn: %r" % (what, texts[0]))
        f = zoom / 100.0
        pane = (16 * f, 124 * f, 1006 * f, 748 * f)
        ids = [IDC[k] for k in ("GRAPH_DISK", "GRAPH_ITEM", "GRAPH_INTERVAL", "GRAPH_CHART", "GRAPH_BACK")]
        ctls = {i: dumps[0]["ctl"].get(i) for i in ids}
        check(all(ctls.values()), "%s: the pane's controls are shown" % what)
        if not all(ctls.values()):
            continue
        chart_ctl = ctls[IDC["GRAPH_CHART"]]
        check(abs(chart_ctl["w"] - 978 * f) <= 4 and 540 * f <= chart_ctl["h"] <= 550 * f,
              "%s: the chart scaled (%dx%d)" % (what, chart_ctl["w"], chart_ctl["h"]))
        boxes = {i: (c["x"], c["y"], c["x"] + c["w"], c["y"] + c["h"]) for i, c in ctls.items()}
        outside = [i for i, (x0, y0, x1, y1) in boxes.items()
                   if x0 < pane[0] - 1 or y0 < pane[1] - 1 or x1 > pane[2] + 1 or y1 > pane[3] + 1 or
                   x1 > client[0] or y1 > client[1]]
        check(not outside, "%s: controls outside the pane or the window: %r" % (what, outside))
        # Against each other and against every other visible control of the
        # window (the top row stays above the pane).
        others = {cid: c for cid, c in dumps[0]["ctl"].items()
                  if cid not in ids and c["w"] > 0 and c["cls"] in ("Button", "Static", "ComboBox")}
        overlaps = []
        for i in ids:
            x0, y0, x1, y1 = boxes[i]
            for j, c in list(ctls.items()) + list(others.items()):
                if j == i or (j in ids and j < i):
                    continue
                if x0 < c["x"] + c["w"] and c["x"] < x1 and y0 < c["y"] + c["h"] and c["y"] < y1:
                    overlaps.append((i, j))
        check(not overlaps, "%s: overlapping controls %r" % (what, overlaps))
        print("%s run: %.1f s" % (what, took))


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
        load, total = d["ctl"].get(IDC["LOAD_IMAGE"]), d["ctl"].get(IDC["TOTAL_RATE"])
        check(load is not None and total is not None and load["cls"] == "Static" and
              load["w"] == load["h"] == total["h"] and load["y"] == total["y"] and
              load["x"] + load["w"] <= total["x"],
              "the load meter, a square beside the total: %r %r" % (load, total))
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
    gauges = [dumps[0]["ctl"].get(IDC[k]) for k in ("MEMORY_USAGE_GAUGE", "MEMORY_GRADE_GAUGE")]
    check([(g["cls"], g["w"], g["h"]) if g else None for g in gauges] == [("Static", 480, 24), ("Static", 150, 28)],
          "the usage gauge and a present module's speed grade are shown: %r" % gauges)
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

    # A machine with no memory table and no memory size: the program says it
    # could not read the table, once its window is up.
    machine = os.path.join(folder, "machine")
    shutil.copytree(os.path.join(ROOT, "fixtures/machines/demo"), machine)
    ini = os.path.join(machine, "machine.ini")
    lines = open(ini, encoding="utf-8").read().splitlines()
    lines = [l for l in lines if not re.match(r"^(memory|smbios|smbios_version)\s*=", l)]
    open(ini, "w", encoding="utf-8").write("\n".join(lines) + "\n")
    where = "Z:" + machine.replace("/", "\\")
    blocks, took, raw = run_reader(display, folder, ["start:--machine " + where, "msgbox:ok", "key:F2", "wait:1500",
                                                     "dump", "close"])
    dumps = blocks_of(blocks, "dump")
    check(len(dumps) == 1, "memory run without modules: %r" % raw.strip()[-200:])
    boxes = [l for b in blocks_of(blocks, "msgbox:ok") for l in b["lines"] if l.startswith("msgbox ")]
    check(boxes == ["msgbox Error\tUnable to fetch information from OS."],
          "no memory table: the program says so: %r" % boxes)
    if dumps:
        d = dumps[0]
        check(text_of(d, IDC["MEMORY_SLOT"]) == "", "no slot selected: %r" % text_of(d, IDC["MEMORY_SLOT"]))
        check(IDC["MEMORY_GRADE_GAUGE"] not in d["ctl"] and IDC["MEMORY_USAGE_GAUGE"] in d["ctl"],
              "no module: no speed grade picture, the usage gauge stays")
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
    gauges = [d["ctl"].get(IDC["PERFORMANCE_GAUGE"] + i) for i in range(3)]
    check(all(g and (g["cls"], g["w"], g["h"]) == ("Static", 820, 50) for g in gauges),
          "three gauges of 820 x 50: %r" % gauges)
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
    above_choice = IDC["SETTINGS_ABOVE_CHOICE"]
    popup = "focus:StavrionColourPopup"
    steps = ["start:--machine demo", "click:%d" % view, "dump",
             "click:%d" % (page + 1), "dump",
             "check:%d:1" % (check_id + 2), "settext:%d:-5" % (edit + 2),
             "check:%d:1" % check_id, "settext:%d:4a" % (edit + 1), "msgbox:ok", "dump",
             # The above alarm's quick choice: 55 degrees.
             "pick:%d:35" % above_choice, "dump",
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
    if len(dumps) != 10 or len(boxes) != 7:
        check(False, "settings run: every step dumped (%d) and every message box answered (%d)"
              % (len(dumps), len(boxes)))
        return
    general, disk, edited, picked, escaped, chosen, panel, reloaded, about, german = dumps
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
    check(text_of(disk, above_choice) == "Off", "an above alarm that is off selects Off: %r"
          % text_of(disk, above_choice))
    check(text_of(edited, above_choice) == "50 \u00b0C (122 \u00b0F)",
          "the quick choice follows the checked field: %r" % text_of(edited, above_choice))
    check(text_of(picked, edit) == "55" and text_of(picked, above_choice) == "55 \u00b0C (131 \u00b0F)",
          "choosing 55 degrees sets the field: %r, %r" % (text_of(picked, edit), text_of(picked, above_choice)))
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
    check(s.get("alarmtemperature", {}).get(k0) == "55", "the chosen above alarm saved under the disk's key: %r"
          % s.get("alarmtemperature", {}).get(k0))
    check(s.get("alarmhealthstatus", {}).get(k1) == "1", "the tray's change survives Save: %r"
          % s.get("alarmhealthstatus", {}).get(k1))
    print("settings pane run: %.1f s (colour dialog: %s)" % (took, boxes[1][7:].split("\t")[0]))

    check_advanced(display)


def check_advanced(display):
    """The advanced settings dialog (message WM_USER + 103 to the main window):
    its texts, a stored "AutoUpdate" it does not know selects nothing, Cancel
    and Escape write nothing, a second request brings the open one forward
    instead of a second one, and OK writes the choice and leaves the disk on
    show where it was."""
    folder = stage({"Language": "English", "ZoomType": "100", "AutoUpdate": "7"})
    ini = os.path.join(folder, "StavrionGui.ini")
    combo, ok, cancel = 1962, 1, 2
    steps = ["start:--machine demo", "dump", "click:%d" % (IDC["DISK_FIRST"] + 1), "dump",
             "post:1127", "dialog", "pick:%d:1" % combo, "click:%d" % cancel, "dialog",
             "post:1127", "post:1127", "dialog", "pick:%d:1" % combo, "click:%d" % ok, "dialog",
             "dump", "post:1127", "focus:ComboBox", "dialog", "key:ESC", "dialog", "close"]
    blocks, took, raw = run_reader(display, folder, steps)
    check(raw.strip().endswith("done ok"), "advanced settings run ended: " + raw.strip()[-300:])
    dialogs = blocks_of(blocks, "dialog")
    dumps = blocks_of(blocks, "dump")
    if len(dialogs) != 6 or len(dumps) != 3:
        check(False, "advanced settings run: every step read (%d, %d)" % (len(dialogs), len(dumps)))
        return
    counts = [next((l for l in b["lines"] if l.startswith("dialogs ")), "") for b in dialogs]
    check(counts == ["dialogs %d" % n for n in (1, 0, 1, 0, 1, 0)],
          "one dialog at a time, closed by Cancel, OK and Escape: %r" % counts)
    first, reopened, after_ok = dialogs[0], dialogs[2], dialogs[4]
    check("title Advanced Settings" in first["lines"], "the dialog's title: %r" % first["lines"][1:2])
    check(text_of(first, 1960) == "Tool Settings" and text_of(first, 1961) == "Check for updates",
          "heading and label: %r, %r" % (text_of(first, 1960), text_of(first, 1961)))
    check(text_of(first, ok) == "OK" and text_of(first, cancel) == "Cancel",
          "the buttons: %r, %r" % (text_of(first, ok), text_of(first, cancel)))
    check(text_of(first, combo) == "", "an AutoUpdate of 7 selects nothing: %r" % text_of(first, combo))
    check(text_of(reopened, combo) == "", "Cancel wrote nothing: %r" % text_of(reopened, combo))
    check(text_of(after_ok, combo) == "On", "OK's choice shown again: %r" % text_of(after_ok, combo))
    titles = [text_of(d, IDC["TITLE"]) for d in dumps]
    check(titles[0] != titles[1] and titles[2] == titles[1],
          "the second disk stays on show after OK: %r" % titles)
    setting = read_ini(ini).get("setting", {})
    check(setting.get("autoupdate") == "1", "OK wrote AutoUpdate=1: %r" % setting.get("autoupdate"))
    print("advanced settings run: %.1f s" % took)


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
    ini = "Z:" + os.path.join(folder, "StavrionGui.ini").replace("/", "\\")
    # The pane is made on the key's message: wait for its Start button
    # before the first dump (a loaded machine may not be there yet). Then
    # the Q1 T1 counts change in the settings file while another pane is
    # shown: the run after the pane is shown again uses them.
    steps = ["start:--machine demo", "key:F11", "text:%d" % IDC["BENCH_START"], "dump",
             "key:F7", "setini:%s|Settings|RandomMultiQueues3|2" % ini,
             "setini:%s|Settings|RandomMultiThreads3|3" % ini,
             "key:F11", "text:%d" % IDC["BENCH_START"],
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
    written = [l for b in blocks if b["step"].startswith("setini:") for l in b["lines"]]
    check(written == ["setini 1"] * 2, "the settings file changed while the pane was hidden (%r)"
          % written)
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
    # The counts read when the pane was shown again, not those of its first
    # showing.
    got = re.findall(r"Random (?:Read|Write) \(Q  2 T 3\) : +([\d.]+)", text)
    check(len(got) == 2 and all(abs(float(g) - float(v)) < 0.1 for g, v in zip(got, values)),
          "the report's Q2 T3 figures %r vs the pane's %r" % (got, values))
    print("benchmark pane run: %.1f s" % took)


# ---- a machine the program has never seen ---------------------------------------

# Disks and a firmware table from the repository's fixtures, put together
# into a machine of their own: no disk of it is on the demo machine, the
# table is a real one, the system rows name other parts.
UNSEEN_DISKS = [("families/samsung-850-pro", "physical_drive = 0\nletters = C"),
                ("real-ata/FUJITSU_MHY2120BH--0084000D",
                 "physical_drive = 1\nletters = D, E\npaths = smart-ioctl, predict-failure"),
                ("families/intel-worn", "physical_drive = 2\nbus = usb\nusb_bridge = sat"),
                ("real-ata/WDC_WD5000AAKS--00TMA0-12.01C01", "physical_drive = 3")]
UNSEEN_SMBIOS = "uroot-smbios-table-3.1"
UNSEEN_MAC = "02-00-5E-77-00-02"
UNSEEN_RAM = 40813
UNSEEN_CPU = [31, 57, 8, 12]
UNSEEN_AVAILABLE = [30120, 29875]


def build_unseen_machine(folder):
    """Writes the machine into `folder`/unseen; returns its folder."""
    machine = os.path.join(folder, "unseen")
    os.makedirs(machine)
    table = os.path.join(ROOT, "fixtures/smbios", UNSEEN_SMBIOS)
    shutil.copy(os.path.join(table, "smbios.bin"), os.path.join(machine, "firmware.bin"))
    major, minor = open(os.path.join(table, "version.txt")).read().split()
    ini = ["[machine]", "version = 2", "os = 6.1.7601", "service_pack = Service Pack 1",
           "cpu = Example(R) Quad CPU Q9650 @ 3.00GHz", "memory = %d" % UNSEEN_RAM,
           "smbios = firmware.bin", "smbios_version = %s.%s" % (major, minor), ""]
    for n, (source, keys) in enumerate(UNSEEN_DISKS):
        shutil.copytree(os.path.join(ROOT, "fixtures", source), os.path.join(machine, "disk%d" % n))
        ini += ["[disk disk%d]" % n, keys, ""]
    ini += ["[wmi root\\cimv2 Win32_OperatingSystem]", "Caption = Microsoft Windows 7 Professional",
            "CSDVersion = Service Pack 1", "",
            "[wmi root\\cimv2 Win32_BIOS]", "Manufacturer = Example Firmware",
            "SMBIOSBIOSVersion = N24ET39W", "",
            "[wmi root\\cimv2 Win32_Processor]", "NumberOfCores = int:4",
            "NumberOfLogicalProcessors = int:4", "",
            "[wmi root\\cimv2 Win32_BaseBoard]", "Manufacturer = Example Boards", "Product = EX-45", "",
            # No display row: its part of the text stays empty.
            "[wmi root\\cimv2 Win32_NetworkAdapterConfiguration]",
            "Description = Example Gigabit Adapter", "MACAddress = " + UNSEEN_MAC,
            "IPEnabled = True", "IPAddress = list:10.1.2.3", "DefaultIPGateway = list:10.1.2.1", "",
            # Processor and memory counters only: no disk has any.
            "[performance]",
            "\\Processor(_Total)\\% Processor Time = " + " ".join(map(str, UNSEEN_CPU)),
            "\\Memory\\Available MBytes = " + " ".join(map(str, UNSEEN_AVAILABLE)), ""]
    with open(os.path.join(machine, "machine.ini"), "w", encoding="utf-8") as f:
        f.write("\n".join(ini))
    return machine


def dmidecode_modules(path):
    """The memory devices dmidecode read from a table: [{field: value}]."""
    devices = []
    for line in open(path, encoding="utf-8"):
        if line.strip() == "Memory Device":
            devices.append({})
        elif devices and line.startswith("\t") and ":" in line:
            key, _, value = line.strip().partition(":")
            devices[-1][key] = value.strip()
    return devices


def json_of(folder, *args):
    out = subprocess.run(["wine", os.path.join(folder, "stavrion.exe"), "report"] + list(args),
                         env=wine_env(), stdout=subprocess.PIPE, timeout=120).stdout
    text = out.decode("utf-8", "replace")
    return json.loads(text) if text.strip().startswith("{") else {}


def check_unseen(display):
    """Every pane on a machine folder built here from fixtures: the panel of
    each disk against the report of that machine, the memory pane's modules
    against dmidecode's reading of the same table, the system rows against
    the report, the detail rows, the graph, about, performance and
    benchmark panes; at 150 % no control of any pane overlaps another or
    leaves the window; the program ends with status 0."""
    folder = stage({"Language": "English", "ZoomType": "150"})
    machine = build_unseen_machine(folder)
    where = "Z:" + machine.replace("/", "\\")
    report_json = json_of(folder, "--machine", where, "--json")
    disks_json = report_json.get("Disks", [])
    disks = report(folder, where)
    check(len(disks_json) == len(UNSEEN_DISKS) and len(disks) == len(disks_json),
          "unseen machine: every disk read (%d, %d of %d)" % (len(disks_json), len(disks), len(UNSEEN_DISKS)))
    if len(disks) != len(disks_json) or not disks:
        return
    for d, j in zip(disks, disks_json):
        check((d.get("Model"), d.get("Serial number")) == (j["Model"], j["SerialNumber"]),
              "unseen machine: text and JSON report agree: %r vs %r" % (d.get("Model"), j["Model"]))
    system = json_of(folder, "--machine", where, "--system", "--json")
    record = system.get("SystemInfo", {})
    check(record.get("RamSizeMb") == UNSEEN_RAM, "unseen machine: the report's memory size %r" % record.get("RamSizeMb"))
    modules = dmidecode_modules(os.path.join(ROOT, "fixtures/smbios", UNSEEN_SMBIOS, "dmidecode.txt"))
    present = [i for i, m in enumerate(modules) if m.get("Size", "No Module Installed") != "No Module Installed"]
    check(len(present) >= 1, "dmidecode reads modules from the table")

    selected = len(disks) - 1
    steps = ["start:--machine " + where, "dump"]
    for i in range(len(disks)):
        steps += ["click:%d" % (IDC["DISK_FIRST"] + i), "dump"]
    # Each pane by its key or view button, in turn, each straight from the last.
    steps += ["key:F2", "wait:1200", "dump"]
    for n in range(len(present)):
        steps += ["pick:%d:%d" % (IDC["MEMORY_SLOT"], n), "dump"]
    steps += ["click:%d" % IDC["SETTINGS_VIEW"], "dump", "click:%d" % (IDC["SETTINGS_PAGE"] + 1), "dump",
              "key:F8", "list", "dump",
              "click:%d" % IDC["SMART_VIEW"], "list", "dump",
              # No history is kept by default: the graph warns that it has none.
              "key:F10", "text:%d" % IDC["GRAPH_CHART"], "msgbox:ok", "dump",
              "click:%d" % IDC["ABOUT_BUTTON"], "dump",
              "click:%d" % IDC["PERFORMANCE_VIEW"], "wait:1200", "dump",
              "key:F11", "text:%d" % IDC["BENCH_START"], "dump",
              "key:ESC", "dump", "close"]
    blocks, took, raw = run_reader(display, folder, steps)
    check(raw.strip().endswith("done ok"), "unseen machine run ended: " + raw.strip()[-300:])
    check(any(l == "exit 0" for b in blocks_of(blocks, "close") for l in b["lines"]),
          "unseen machine: the program ends with status 0: %r" % raw.strip()[-120:])
    dumps = blocks_of(blocks, "dump")
    lists = blocks_of(blocks, "list")
    want = 1 + len(disks) + 1 + len(present) + 2 + 1 + 1 + 1 + 1 + 1 + 1 + 1
    if len(dumps) != want or len(lists) != 2:
        check(False, "unseen machine: every step dumped (%d of %d, %d lists)" % (len(dumps), want, len(lists)))
        return
    starts = [l for b in blocks if b["step"].startswith("start:") for l in b["lines"]]
    client = next((tuple(int(v) for v in l.split()[1:3]) for l in starts if l.startswith("client ")), None)
    check(client == (1022 * 150 // 100, 784 * 150 // 100), "unseen machine: client area at 150 %%: %r" % (client,))
    client = client or (1533, 1176)
    it = iter(dumps)
    first = next(it)
    check_layout(first, client, "unseen machine, panel")
    # The panel of each disk against the report.
    for i, disk in enumerate(disks):
        check_panel(next(it), disk, "unseen machine, disk %d" % (i + 1))

    # Memory: the module rows as dmidecode reads the table.
    memory = next(it)
    check_layout(memory, client, "unseen machine, memory pane", least=30, classes=PANE_CLASSES)
    check(IDC["TITLE"] not in memory["ctl"], "unseen machine: the panel is hidden under the memory pane")
    check(text_of(memory, IDC["MEMORY_SLOT"]) == "Slot #%d" % present[0],
          "unseen machine: the first module selected: %r" % text_of(memory, IDC["MEMORY_SLOT"]))
    check(memory_row(memory, "PHYSICAL_MEMORY_TOTAL") == size_text(UNSEEN_RAM),
          "unseen machine: total %r" % memory_row(memory, "PHYSICAL_MEMORY_TOTAL"))
    for slot in present:
        d = next(it)
        m = modules[slot]
        size = re.match(r"^(\d+) (GB|MB)$", m.get("Size", ""))
        mts = re.match(r"^(\d+) MT/s$", m.get("Speed", ""))
        check(text_of(d, IDC["MEMORY_SLOT"]) == "Slot #%d" % slot, "unseen machine: entry of slot %d: %r"
              % (slot, text_of(d, IDC["MEMORY_SLOT"])))
        expected = dict(MEMORY_CAPACITY="%d MBytes" % (int(size.group(1)) * (1024 if size.group(2) == "GB" else 1))
                        if size else None,
                        MANUFACTURER=m.get("Manufacturer"), PART_NUMBER=m.get("Part Number", "").strip(),
                        SERIAL_NUMBER=m.get("Serial Number"),
                        MEMORY_TYPE="%s-%s" % (m.get("Type"), mts.group(1)) if mts else None)
        got = {k: memory_row(d, k) for k in expected}
        check(got == expected, "unseen machine: slot %d rows %r, dmidecode %r" % (slot, got, expected))
        speed = memory_row(d, "MEMORY_SPEED") or ""
        check(mts is not None and speed.endswith("(%dMHz)" % (int(mts.group(1)) // 2)),
              "unseen machine: slot %d speed %r for %r" % (slot, speed, m.get("Speed")))

    # Settings: the General page, then the Disk page on the first disk.
    general, disk_page = next(it), next(it)
    for d, name in ((general, "settings pane"), (disk_page, "settings disk page")):
        check_layout(d, client, "unseen machine, " + name, least=10, classes=PANE_CLASSES)
    check(text_of(general, IDC["SETTINGS_CAPTION"]) == "Automatic refresh",
          "unseen machine: settings captions %r" % text_of(general, IDC["SETTINGS_CAPTION"]))
    shown = text_of(disk_page, IDC["SETTINGS_DISK"]) or ""
    check(disks[0]["Model"] in shown, "unseen machine: the settings' disk %r names disk 1" % shown)

    # System information: the report's rows, then every disk.
    system_dump = next(it)
    check_layout(system_dump, client, "unseen machine, system pane", least=2, classes=PANE_CLASSES)
    rows = lists[0]["rows"]
    expected = [("Operating System", record.get("WindowsEdition")), ("BIOS", record.get("Bios")),
                ("Processor", record.get("Cpu")), ("Memory", record.get("Ram")),
                ("Motherboard", record.get("MotherBoard")), ("Graphics", record.get("Graphics")),
                ("Network Adapter", record.get("NetCard")), ("IP Address / Gateway", record.get("Ip"))]
    got = [(r[-1], r[1]) for r in rows[:8]]
    check(got == [(k, (v or "").strip()) for k, v in expected] or got == expected,
          "unseen machine: system rows %r vs %r" % (got, expected))
    pairs = [(rows[8 + 2 * i][1], rows[9 + 2 * i][1]) for i in range(len(disks)) if 9 + 2 * i < len(rows)]
    check(pairs == [(j["Model"], j["SerialNumber"]) for j in disks_json],
          "unseen machine: the system pane's disks %r" % pairs)

    # S.M.A.R.T. details of the selected (last) disk.
    details = next(it)
    check_layout(details, client, "unseen machine, detail pane", least=2, classes=PANE_CLASSES)
    ids = [r[1] for r in lists[1]["rows"] if r[1] != "--"]
    check(ids == disks[selected]["attributes"] and ids,
          "unseen machine: detail rows %r vs %r" % (ids, disks[selected]["attributes"]))

    # Graph of the selected disk.
    graph = next(it)
    check_layout(graph, client, "unseen machine, graph pane", least=2, classes=PANE_CLASSES)
    shown = text_of(graph, IDC["GRAPH_DISK"]) or ""
    check(shown.startswith("(%d) %s" % (selected + 1, disks[selected]["Model"])),
          "unseen machine: the graph's disk %r" % shown)
    chart = texts_of(blocks)
    check(chart[:1] == ["Temperature: No history of this figure in the chosen time."],
          "unseen machine: graph %r" % chart[:1])
    boxes = [l for b in blocks_of(blocks, "msgbox:ok") for l in b["lines"] if l.startswith("msgbox ")]
    check(len(boxes) == 1 and boxes[0].endswith("\tNo history of this figure in the chosen time."),
          "unseen machine: the graph's warning %r" % boxes)

    about = next(it)
    check_layout(about, client, "unseen machine, about pane", least=4, classes=PANE_CLASSES)
    check(IDC["ABOUT_SHORTCUTS"] in about["ctl"] and IDC["TITLE"] not in about["ctl"],
          "unseen machine: the about pane is shown")

    performance = next(it)
    check_layout(performance, client, "unseen machine, performance pane", least=4, classes=PANE_CLASSES)
    texts = [text_of(performance, IDC["PERFORMANCE_TEXT"] + i) or "" for i in range(3)]
    check(re.match(r"^\d{1,3}%$", texts[0]) is not None and min(UNSEEN_CPU) <= int(texts[0][:-1] or -1) <= max(UNSEEN_CPU)
          if re.match(r"^\d{1,3}%$", texts[0]) else False,
          "unseen machine: processor use %r of %r" % (texts[0], UNSEEN_CPU))
    low = (UNSEEN_RAM - max(UNSEEN_AVAILABLE)) * 100 // UNSEEN_RAM
    high = (UNSEEN_RAM - min(UNSEEN_AVAILABLE)) * 100 // UNSEEN_RAM
    check(re.match(r"^\d{1,3}%$", texts[2]) is not None and low <= int(texts[2][:-1]) <= high
          if re.match(r"^\d{1,3}%$", texts[2]) else False,
          "unseen machine: memory use %r within %d..%d%%" % (texts[2], low, high))

    bench = next(it)
    check_layout(bench, client, "unseen machine, benchmark pane", least=10, classes=PANE_CLASSES)
    check(text_of(bench, IDC["BENCH_START"]) == "Start", "unseen machine: benchmark Start %r" % text_of(bench, IDC["BENCH_START"]))

    back = next(it)
    check(IDC["TITLE"] in back["ctl"], "unseen machine: Escape shows the panel again")
    # The history root (where F10 left "Exchange.ini") is named by this
    # machine's adapter.
    roots = [d for d in os.listdir(folder) if d.startswith("Smart-")]
    check(roots == ["Smart-" + UNSEEN_MAC] and system.get("AdapterAddress") == UNSEEN_MAC,
          "unseen machine: history root %r, adapter %r" % (roots, system.get("AdapterAddress")))
    print("unseen machine run: %.1f s" % took)


def check_benchmark_refusals(display, bench):
    """The benchmark pane while it runs and when it cannot: resident, leaving
    by OK and by the tray menu's exit is refused and leaves the window and
    the icons as they were; Stop ends the run early and the pane is idle
    again; with the load generator gone, Start shows the error box and the
    pane stays idle."""
    folder = stage(tray_settings("1"))
    letter, drive, link = bench
    if letter is None:
        return
    generator = os.path.join(folder, "TslResource", "diskspd", "diskspd32.exe")
    check(os.path.isfile(generator), "the staged program has its load generator")
    start = "%d" % IDC["BENCH_START"]
    # Eight loops of a 5-second pair: still running when the exit is asked.
    # Resident, the window brought up from its icon.
    steps = ["start:--machine demo", "trayclick", "state", "key:F11", "text:" + start, "tray",
             "pick:%d:%s:" % (IDC["BENCH_DRIVE"], letter), "pick:%d:4" % IDC["BENCH_TYPE"],
             "pick:%d:0" % IDC["BENCH_SIZE"], "pick:%d:7" % IDC["BENCH_LOOP"],
             "click:" + start, "wait:1000", "dump",
             "cmd:1", "cmd:%d" % 0x9100, "wait:300", "state", "tray", "dump",
             "click:%d" % IDC["BENCH_STOP"], "enabled:%s:30" % start, "dump",
             "delete:Z:" + generator.replace("/", "\\"), "click:" + start, "msgbox:ok",
             "enabled:%s:10" % start, "dump", "close"]
    blocks, took, raw = run_reader(display, folder, steps)
    check(raw.strip().endswith("done ok"), "benchmark refusal run ended: " + raw.strip()[-300:])
    dumps = blocks_of(blocks, "dump")
    if len(dumps) < 4:
        check(False, "benchmark refusal run: every step dumped (%d)" % len(dumps))
        return
    running, refused, stopped, missing = dumps

    def enabled(block, cid):
        c = block["ctl"].get(IDC[cid])
        return c["enabled"] if c else None

    def icons(step_block):
        return sorted(l for l in step_block["lines"] if l.startswith("tip "))

    check(enabled(running, "BENCH_STOP") is True and enabled(running, "BENCH_START") is False,
          "the run goes on: Stop enabled, Start disabled")
    state = [l for b in blocks_of(blocks, "state") for l in b["lines"]]
    check(state == ["state running 1 visible 1 iconic 0"] * 2,
          "OK and the tray's exit during a run leave the program and its window: %r" % state)
    trays = blocks_of(blocks, "tray")
    before = [re.sub(r"-?\d+", "N", t) for t in icons(trays[0])] if trays else []
    after = [re.sub(r"-?\d+", "N", t) for t in icons(trays[1])] if len(trays) > 1 else []
    check(bool(before) and after == before,
          "the icons stay after a refused exit: %d before, %d after" % (len(before), len(after)))
    check(IDC["BENCH_START"] in refused["ctl"] and enabled(refused, "BENCH_STOP") is True,
          "the pane is shown and still running after the refusals")
    stop_wait = [l for b in blocks_of(blocks, "enabled:%s:30" % start) for l in b["lines"]]
    check(stop_wait == ["enabled 1"], "Stop ends the run (%r)" % stop_wait)
    for block, what in [(stopped, "after Stop"), (missing, "after the error")]:
        check(enabled(block, "BENCH_STOP") is False and
              all(enabled(block, k) is True for k in ("BENCH_START", "BENCH_DRIVE", "BENCH_TYPE",
                                                       "BENCH_SAVE")),
              "%s the pane is idle: Start, Save and the combos enabled, Stop disabled" % what)
        check((text_of(block, IDC["BENCH_STATUS"]) or "") == "",
              "%s the status line is empty (%r)" % (what, text_of(block, IDC["BENCH_STATUS"])))
        check(IDC["BENCH_HISTORY"] + 9 not in block["ctl"],
              "%s no run is added to the history" % what)
    boxes = [unescape(l) for b in blocks_of(blocks, "msgbox:ok") for l in b["lines"]]
    check(boxes == ["msgbox Error\tThe load generator (TslResource\\diskspd\\diskspd32.exe) was "
                    "not found."], "the missing load generator's box: %r" % boxes)
    check(any(l == "exit 0" for b in blocks_of(blocks, "close") for l in b["lines"]),
          "the program leaves once idle")
    check(os.listdir(drive) == [], "the stopped run's test folder is removed: %r" % os.listdir(drive))
    print("benchmark refusal run: %.1f s" % took)


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
        only = os.environ.get("GUI_TEST_ONLY")
        if only == "benchmark":
            check_benchmark_refusals(display, bench)
            check_benchmark(display, bench)
            print("gui-test: %d checks, %d failed, %.1f s" % (CHECKS, len(FAILURES), time.time() - t0))
            return 1 if FAILURES else 0
        if only == "skin":
            check_skin(display)
            print("gui-test: %d checks, %d failed, %.1f s" % (CHECKS, len(FAILURES), time.time() - t0))
            return 1 if FAILURES else 0
        if only == "graph":
            check_graph_zoom(display, check_graph(display))
            print("gui-test: %d checks, %d failed, %.1f s" % (CHECKS, len(FAILURES), time.time() - t0))
            return 1 if FAILURES else 0
        if only == "status":
            status_run(display)
            print("gui-test: %d checks, %d failed, %.1f s" % (CHECKS, len(FAILURES), time.time() - t0))
            return 1 if FAILURES else 0
        if only in ("settings", "unseen", "alarm"):
            # One part's checks alone, while working on it.
            if only == "alarm":
                alarm_run(display, disks)
                tooltip_size_run(display)
            else:
                {"settings": check_settings, "unseen": check_unseen}[only](display)
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
        graph_folder = check_graph(display)
        if graph_folder:
            check_graph_zoom(display, graph_folder)
        check_rates(display)
        check_memory(display)
        check_performance(display)
        check_about(display)
        check_benchmark_refusals(display, bench)
        check_benchmark(display, bench)
        check_unseen(display)
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
        alarm_run(display, disks)
        tooltip_size_run(display)
        check_skin(display)
        status_run(display)

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
