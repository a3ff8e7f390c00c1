#!/usr/bin/env python3
"""Benchmarks of the window program on the demo machine under Wine (Xvfb,
Wine virtual desktop, the prefix of scripts/gui-test.py):

- start to window: from CreateProcess until the main window is shown and
  idle, measured by GuiReader.exe, median of 5 (the Wine server warm);
- what the program measures itself (--bench): the engine and monitor work
  before the first paint, WinMain to the first WM_PAINT, a refresh of every
  disk with the redraw it causes (process CPU time: median and mean of 20,
  and the refresh and the redraw apart), and the private bytes after that
  (GetProcessMemoryInfo's PrivateUsage, which Wine reads as 0, and the
  committed private regions of VirtualQuery summed); median of 5 runs;
- the graph pane on a five-year temperature file of one record every 150 s
  (about 1.05 million lines): each interval read from the file and drawn
  (median and worst of 5 per run), and the private bytes with it.

    bench/gui_bench.py [BUILD_DIR]     (default build/windows)
"""
import importlib.util
import os
import datetime
import json
import statistics
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
module_spec = importlib.util.spec_from_file_location("guitest", os.path.join(ROOT, "scripts/gui-test.py"))
guitest = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(guitest)

RUNS = 5


def five_years(folder):
    """Temperature.csv of the demo machine's first disk: five years of one
    record every 150 s, ending now."""
    out = subprocess.run(["wine", os.path.join(folder, "stavrion.exe"), "report", "--machine",
                          "demo", "--json"], env=guitest.wine_env(), stdout=subprocess.PIPE,
                         timeout=120).stdout
    disk = json.loads(out.decode("utf-8", "replace"))["Disks"][0]
    history = guitest.load_demo_history()
    # The history root the program uses: "Smart-" and the demo machine's
    # adapter address.
    path = os.path.join(folder, guitest.history_root_name(folder), history.folder_name(disk["ModelSerial"]))
    os.makedirs(path, exist_ok=True)
    end = datetime.datetime.now().replace(microsecond=0)
    count = 5 * 365 * 86400 // 150
    with open(os.path.join(path, "Temperature.csv"), "w", newline="") as f:
        for i in range(count):
            t = end - datetime.timedelta(seconds=150 * (count - 1 - i))
            f.write("%s,%d\r\n" % (t.strftime("%Y/%m/%d %H:%M:%S"), 35 + (t.hour // 3) % 4))


def main():
    guitest.ensure_prefix()
    guitest.set_dpi(96)
    subprocess.run(["wineserver", "-p60"], env=guitest.wine_env())
    starts, figures = [], {}
    with guitest.Display() as display:
        folder = guitest.stage({"Language": "English", "ZoomType": "100"})
        for _ in range(RUNS + 1):
            blocks, _, _ = guitest.run_reader(display, folder, ["start:--machine demo", "close"])
            for b in blocks:
                for line in b["lines"]:
                    if line.startswith("started "):
                        starts.append(float(line.split()[1]))
        starts = starts[1:]  # the first start warms Wine's caches
        five_years(folder)
        for extra in ([], ["--graph", "300:5:1"]):
            for _ in range(RUNS):
                out = os.path.join(folder, "bench.txt")
                if os.path.exists(out):
                    os.remove(out)
                try:
                    subprocess.run(["wine", "explorer", "/desktop=stavrion,1900x1260",
                                    "Z:" + os.path.join(folder, "StavrionGui.exe").replace("/", "\\"),
                                    "--machine", "demo"] + extra +
                                   ["--bench", "Z:" + out.replace("/", "\\")],
                                   env=guitest.wine_env(display.name), timeout=300,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                except subprocess.TimeoutExpired:
                    # One run lost (a loaded machine); the others still count.
                    print("bench run %s timed out after 300 s" % (" ".join(extra) or "(panel)"))
                    continue
                if os.path.exists(out):
                    for line in open(out):
                        key, value = line.split()
                        if extra and not key.startswith("graph"):
                            key = "with_graph_" + key
                        figures.setdefault(key, []).append(float(value))
    if starts:
        print("start to shown and idle window (Wine start included): median %.0f ms of %d (%s)" %
              (statistics.median(starts), len(starts), ", ".join("%.0f" % s for s in starts)))
    for key, values in figures.items():
        print("%-36s median %.2f of %d" % (key, statistics.median(values), len(values)))
    return 0 if starts and figures else 1


if __name__ == "__main__":
    sys.exit(main())
