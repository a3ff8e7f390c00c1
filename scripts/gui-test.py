#!/usr/bin/env python3
"""The window program under Wine on a virtual X display.

Starts StavrionGui.exe on the demo machine inside a Wine virtual desktop on
Xvfb, drives it with GuiReader.exe (keys, clicks, the disk selector) and
checks what its controls say against `stavrion report` of the same machine:
every disk's model, serial number, firmware, status, life and temperature;
F5 and F6; the disk buttons and the page buttons; the S.M.A.R.T. detail pane
and its rows; Escape in the pane and leaving the program; German and
Japanese texts; 150 % and 200 % zoom without overlapping controls.

    scripts/gui-test.py [BUILD_DIR]        (default build/windows)

Uses its own Wine prefix (fonts and font substitutes set once, ~15 s) under
~/.cache/stavrion-wine-gui, or STAVRION_GUI_WINEPREFIX.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/windows"))
FAILURES = []
CHECKS = 0

# Control ids (resources/resource.h).
IDC = dict(REFRESH=1026, RESCAN=1027, SMART_VIEW=1028, VERSION=1030, NOT_YET=1031,
           PREVIOUS=1040, NEXT=1041, DISK_FIRST=1050, TITLE=1100, STATUS=1101, LIFE=1102,
           TEMPERATURE=1103, FIELD_LABEL=1200, FIELD_VALUE=1300, BACK=1401)
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
    return os.path.join(cache, "stavrion-wine-gui")


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


def stage(settings):
    """A folder of its own with the program, the reader and the resources, and
    a settings file written before start."""
    folder = tempfile.mkdtemp(prefix="stavrion-gui-")
    for exe in ["StavrionGui.exe", "GuiReader.exe", "stavrion.exe"]:
        os.symlink(os.path.join(BUILD, exe), os.path.join(folder, exe))
    shutil.copytree(os.path.join(BUILD, "TslResource"), os.path.join(folder, "TslResource"))
    lines = ["[Setting]"] + ["%s=%s" % kv for kv in settings.items()]
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
    if expected != "N/A" and disk["Life"] != "Unknown":
        check(text_of(block, IDC["LIFE"]) == disk["Life"],
              "%s: life %r, report %r" % (what, text_of(block, IDC["LIFE"]), disk["Life"]))


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


def main():
    for exe in ["StavrionGui.exe", "GuiReader.exe", "stavrion.exe"]:
        if not os.path.exists(os.path.join(BUILD, exe)):
            print("gui-test: %s missing in %s" % (exe, BUILD))
            return 1
    t0 = time.time()
    ensure_prefix()
    set_dpi(96)
    subprocess.run(["wineserver", "-p60"], env=wine_env())
    folder = stage({"Language": "English", "ZoomType": "100"})
    disks = report(folder)
    check(len(disks) >= 9, "the demo machine has more than one page of disks (%d)" % len(disks))

    with Display() as display:
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
            check("not yet" in (text_of(first, IDC["NOT_YET"]) or ""), "the visible 'not yet'")
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
