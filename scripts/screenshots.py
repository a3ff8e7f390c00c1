#!/usr/bin/env python3
"""Draws the pictures of the window program for the README into
docs/screenshots/: the disk panel, the S.M.A.R.T. detail pane, the panel in
German and in Japanese, and the panel at 150 % zoom, all on the demo
machine. The program draws each picture itself (--screenshot), under Wine on
a virtual X display, with the Wine prefix of scripts/gui-test.py.

    scripts/screenshots.py [BUILD_DIR]      (default build/windows)
"""
import importlib.util
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
module_spec = importlib.util.spec_from_file_location("guitest", os.path.join(ROOT, "scripts/gui-test.py"))
guitest = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(guitest)

SHOTS = [
    ("main.png", {"Language": "English", "ZoomType": "100"}, []),
    ("details.png", {"Language": "English", "ZoomType": "100"}, ["--details"]),
    ("system.png", {"Language": "English", "ZoomType": "100"}, ["--system"]),
    ("german.png", {"Language": "German", "ZoomType": "100"}, []),
    ("japanese.png", {"Language": "Japanese", "ZoomType": "100"}, []),
    ("zoom150.png", {"Language": "English", "ZoomType": "150"}, []),
]


def main():
    out_dir = os.path.join(ROOT, "docs/screenshots")
    os.makedirs(out_dir, exist_ok=True)
    guitest.ensure_prefix()
    guitest.set_dpi(96)
    failed = 0
    with guitest.Display() as display:
        for name, settings, extra in SHOTS:
            folder = guitest.stage(settings)
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
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
