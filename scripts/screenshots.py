#!/usr/bin/env python3
"""Draws the pictures of the window program for the README into
docs/screenshots/: the disk panel, the S.M.A.R.T. detail pane, the graph
pane (a day of a disk's temperature and a failing disk's reallocated
sectors over a year, from a history written by scripts/demo-history.py),
the system-information pane, the settings and about panes, the benchmark pane
after a short run, the panel in German and in Japanese, and the panel at 150 %
zoom, all on the
demo machine. The program draws each picture itself (--screenshot), under Wine on
a virtual X display, with the Wine prefix of scripts/gui-test.py.

tray.png shows what the shell draws, not the program: the notification area
of the Wine desktop with the resident program's icons and the balloon of a
temperature alarm. It is taken from the virtual display with ImageMagick's
`import` while the balloon is shown.

    scripts/screenshots.py [BUILD_DIR]      (default build/windows)

With SCREENSHOTS_ONLY=NAME.png only that picture is drawn again.
"""
import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
module_spec = importlib.util.spec_from_file_location("guitest", os.path.join(ROOT, "scripts/gui-test.py"))
guitest = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(guitest)

# The lower right corner of the desktop: the tray and a balloon above it.
CROP = ["-crop", "620x150+1282+1112", "+repage"]

SHOTS = [
    ("main.png", {"Language": "English", "ZoomType": "100"}, []),
    ("details.png", {"Language": "English", "ZoomType": "100"}, ["--details"]),
    ("graph.png", {"Language": "English", "ZoomType": "100"}, ["--graph", "300:0"]),
    ("graph-year.png", {"Language": "English", "ZoomType": "100"}, ["--graph", "305:5:FAILING"]),
    ("system.png", {"Language": "English", "ZoomType": "100"}, ["--system"]),
    ("memory.png", {"Language": "English", "ZoomType": "100"}, ["--memory"]),
    ("performance.png", {"Language": "English", "ZoomType": "100"}, ["--performance"]),
    ("about.png", {"Language": "English", "ZoomType": "100", "GuiStyle": "1"}, ["--about"]),
    ("settings.png", {"Language": "English", "ZoomType": "100", "AutoRefresh": "3",
                      "SmartLog": "1", "GraphColor": "3366FF"}, ["--settings"]),
    ("german.png", {"Language": "German", "ZoomType": "100"}, []),
    ("japanese.png", {"Language": "Japanese", "ZoomType": "100"}, []),
    ("zoom150.png", {"Language": "English", "ZoomType": "150"}, []),
]


def tray_shot(display, target):
    """The notification area with an alarm's balloon, from the screen."""
    folder = guitest.stage(guitest.tray_settings("1"))
    keys = guitest.model_serials(folder)
    folder = guitest.stage(guitest.tray_settings("1"), {"AlarmTemperature": {keys[0]: "20"}})
    out = os.path.join(folder, "reader.txt")
    cmd = ["wine", "explorer", "/desktop=stavrion,1900x1260",
           "Z:" + os.path.join(folder, "GuiReader.exe").replace("/", "\\"),
           "--out", "Z:" + out.replace("/", "\\"), "start:--machine demo", "tray", "wait:4000",
           "close"]
    reader = subprocess.Popen(cmd, env=guitest.wine_env(display.name), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    shot = False
    deadline = time.time() + 90
    while time.time() < deadline and reader.poll() is None:
        text = open(out, encoding="utf-8", errors="replace").read() if os.path.exists(out) else ""
        if "\nballoon " in text:
            if "balloon none" not in text:
                time.sleep(0.5)
                # The desktop's lower right corner: the tray and the balloon above it.
                shot = subprocess.run(["import", "-display", display.name, "-window", "root",
                                       *CROP, target],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
            break
        time.sleep(0.2)
    reader.wait(timeout=120)
    return shot and os.path.exists(target)


def bench_shot(display, bench, target):
    """The benchmark pane after a short run on a drive of a staged folder,
    taken from the screen while the finished run is shown (the program's
    own picture is drawn at start, before any run)."""
    letter = bench[0]
    if letter is None:
        return False
    folder = guitest.stage({"Language": "English", "ZoomType": "100"})
    out = os.path.join(folder, "reader.txt")
    ids = guitest.IDC
    steps = ["start:--machine demo", "key:F11", "pick:%d:%s:" % (ids["BENCH_DRIVE"], letter),
             "pick:%d:4" % ids["BENCH_TYPE"], "pick:%d:0" % ids["BENCH_SIZE"],
             "pick:%d:0" % ids["BENCH_LOOP"], "click:%d" % ids["BENCH_START"], "wait:1000",
             "enabled:%d:240" % ids["BENCH_START"], "wait:4000", "close"]
    cmd = ["wine", "explorer", "/desktop=stavrion,1900x1260",
           "Z:" + os.path.join(folder, "GuiReader.exe").replace("/", "\\"),
           "--out", "Z:" + out.replace("/", "\\")] + steps
    reader = subprocess.Popen(cmd, env=guitest.wine_env(display.name), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    shot = False
    deadline = time.time() + 300
    while time.time() < deadline and reader.poll() is None:
        text = open(out, encoding="utf-8", errors="replace").read() if os.path.exists(out) else ""
        if "\nenabled " in text:
            client = next((l.split()[1:3] for l in text.splitlines() if l.startswith("client ")), None)
            origin = next((l.split()[1:3] for l in text.splitlines() if l.startswith("origin ")), None)
            if "enabled 1" in text and client and origin:
                time.sleep(1.0)
                crop = "%sx%s+%s+%s" % (client[0], client[1], origin[0], origin[1])
                shot = subprocess.run(["import", "-display", display.name, "-window", "root",
                                       "-crop", crop, "+repage", target],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
            break
        time.sleep(0.2)
    reader.wait(timeout=300)
    return shot and os.path.exists(target)


def main():
    out_dir = os.path.join(ROOT, "docs/screenshots")
    os.makedirs(out_dir, exist_ok=True)
    guitest.ensure_prefix()
    # The benchmark's drive, known to the Wine server that starts now.
    bench = guitest.bench_drive(tempfile.mkdtemp(prefix="stavrion-shot-bench-"))
    subprocess.run(["wineserver", "-w"], env=guitest.wine_env())
    try:
        return shoot(out_dir, bench)
    finally:
        if bench[2]:
            os.unlink(bench[2])
        shutil.rmtree(os.path.dirname(bench[1]), ignore_errors=True)


def shoot(out_dir, bench):
    guitest.set_dpi(96)
    failed = 0
    with guitest.Display() as display:
        only = os.environ.get("SCREENSHOTS_ONLY")
        for name, settings, extra in SHOTS:
            if only and name != only:
                continue
            folder = guitest.stage(settings)
            if any(a.startswith("--graph") for a in extra):
                report, written = guitest.stage_history(folder)
                # The disk whose reallocated sectors rise most.
                counts = [written.get(d.get("ModelSerial"), {}).get("05", 0)
                          for d in report.get("Disks", [])]
                failing = counts.index(max(counts)) + 1 if counts else 1
                extra = [a.replace("FAILING", str(failing)) for a in extra]
            target = os.path.join(out_dir, name)
            if os.path.exists(target):
                os.remove(target)
            cmd = ["wine", "explorer", "/desktop=stavrion,1900x1260",
                   "Z:" + os.path.join(folder, "StavrionGui.exe").replace("/", "\\"),
                   "--machine", "demo"] + extra + ["--screenshot", "Z:" + target.replace("/", "\\")]
            subprocess.run(cmd, env=guitest.wine_env(display.name), timeout=120,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            ok = os.path.exists(target) and os.path.getsize(target) > 0
            print("%s %s" % (name, "written" if ok else "MISSING"))
            failed += 0 if ok else 1
        if only:
            return 1 if failed else 0
        target = os.path.join(out_dir, "benchmark.png")
        ok = bench_shot(display, bench, target)
        print("benchmark.png %s" % ("written" if ok else "MISSING"))
        failed += 0 if ok else 1
        target = os.path.join(out_dir, "tray.png")
        ok = tray_shot(display, target)
        print("tray.png %s" % ("written" if ok else "MISSING"))
        failed += 0 if ok else 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
