#!/usr/bin/env python3
"""stavrion-load against fio on the same file: each pattern the benchmark
pane runs, O_DIRECT, io_uring for both, the two programs alternately (fio
first in odd rounds, ours first in even ones), median of the rounds
(an even number by default, so each program runs second equally often: on
this machine's disk a write test looked slower right after another write
test).

    bench/loadgen_vs_fio.py [--build DIR] [--folder DIR] [--seconds S]
                            [--rounds N] [--size-mib M] [--only NAME,...]

The test file (default 1024 MiB of random bytes) is made once in --folder
(default build/bench-io) and removed at the end. MB = 10^6 bytes. The
virtual disk of a shared machine is noisy: every round's figures are
printed, not just the medians, with the machine's load average and each
run's CPU time per I/O (user + system, from the children's rusage).
"""
import argparse
import json
import os
import resource
import statistics
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# name, our flags, fio flags (besides the common ones)
PATTERNS = [
    ("seq-read Q32T1 128K", "-b128k -o32 -t1 -S -w0", "--rw=read --bs=128k --iodepth=32 --numjobs=1"),
    ("seq-write Q32T1 128K", "-b128k -o32 -t1 -S -w100 -Z128K",
     "--rw=write --bs=128k --iodepth=32 --numjobs=1"),
    ("rand-read Q8T8 4K", "-b4K -o8 -t8 -r -S -w0", "--rw=randread --bs=4k --iodepth=8 --numjobs=8"),
    ("rand-write Q8T8 4K", "-b4K -o8 -t8 -r -S -w100 -Z4K",
     "--rw=randwrite --bs=4k --iodepth=8 --numjobs=8"),
    ("rand-read Q32T1 4K", "-b4K -o32 -t1 -r -S -w0", "--rw=randread --bs=4k --iodepth=32 --numjobs=1"),
    ("rand-write Q32T1 4K", "-b4K -o32 -t1 -r -S -w100 -Z4K",
     "--rw=randwrite --bs=4k --iodepth=32 --numjobs=1"),
    ("rand-read Q1T1 4K", "-b4K -o1 -t1 -r -S -w0", "--rw=randread --bs=4k --iodepth=1 --numjobs=1"),
    ("rand-write Q1T1 4K", "-b4K -o1 -t1 -r -S -w100 -Z4K",
     "--rw=randwrite --bs=4k --iodepth=1 --numjobs=1"),
]


def fio_command(flags, path, seconds):
    return (["fio", "--name=bench", "--filename=" + path, "--direct=1", "--ioengine=io_uring",
             "--time_based", "--runtime=%d" % seconds, "--group_reporting", "--output-format=json"]
            + flags.split())


def cpu_seconds():
    """User plus system time of the finished children so far."""
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run_fio(flags, path, seconds):
    """(MB/s, I/Os, CPU seconds) of one fio run."""
    before = cpu_seconds()
    out = subprocess.run(fio_command(flags, path, seconds), check=True, capture_output=True,
                         text=True).stdout
    cpu = cpu_seconds() - before
    job = json.loads(out[out.index("{"):])["jobs"][0]
    ios = job["read"]["total_ios"] + job["write"]["total_ios"]
    return (job["read"]["bw_bytes"] + job["write"]["bw_bytes"]) / 1e6, ios, cpu


def load_command(binary, flags, path, seconds):
    return [binary] + ("-d%d -W0 " % seconds + flags).split() + ["--json", path]


def run_load(binary, flags, path, seconds):
    """(MB/s, I/Os, CPU seconds) of one stavrion-load run."""
    before = cpu_seconds()
    out = subprocess.run(load_command(binary, flags, path, seconds), check=True,
                         capture_output=True, text=True).stdout
    cpu = cpu_seconds() - before
    result = json.loads(out)
    return result["mb_per_s"], result["ios"], cpu


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build/linux"))
    ap.add_argument("--folder", default=os.path.join(ROOT, "build/bench-io"))
    ap.add_argument("--seconds", type=int, default=5)
    ap.add_argument("--rounds", type=int, default=4)
    ap.add_argument("--size-mib", type=int, default=1024)
    ap.add_argument("--only", default="")
    a = ap.parse_args()
    binary = os.path.join(a.build, "stavrion-load")
    os.makedirs(a.folder, exist_ok=True)
    path = os.path.join(a.folder, "loadgen-vs-fio.tmp")
    subprocess.run(["dd", "if=/dev/urandom", "of=" + path, "bs=1M", "count=%d" % a.size_mib,
                    "oflag=direct", "status=none"], check=True)
    patterns = [p for p in PATTERNS if not a.only or any(o in p[0] for o in a.only.split(","))]
    print("# fio: " + " ".join(fio_command("<pattern>", path, a.seconds)))
    print("# ours: " + " ".join(load_command(binary, "<pattern>", path, a.seconds)))
    results = {p[0]: ([], []) for p in patterns}
    cpus = {p[0]: ([], []) for p in patterns}
    try:
        for r in range(a.rounds):
            for name, ours, fio in patterns:
                order = [("fio", lambda: run_fio(fio, path, a.seconds)),
                         ("ours", lambda: run_load(binary, ours, path, a.seconds))]
                if r % 2:
                    order.reverse()
                for who, run in order:
                    value, ios, cpu = run()
                    results[name][0 if who == "fio" else 1].append(value)
                    per_io = cpu / ios * 1e6 if ios else float("nan")
                    cpus[name][0 if who == "fio" else 1].append(per_io)
                    print("round %d %-22s %-4s %9.1f MB/s  %6.2f us CPU/IO  load %.1f" % (
                        r + 1, name, who, value, per_io, os.getloadavg()[0]), flush=True)
    finally:
        os.remove(path)
    print()
    print("| pattern | fio MB/s (rounds) | stavrion-load MB/s (rounds) | fio median | ours median | ratio |")
    print("|---|---|---|---:|---:|---:|")
    for name, ours, fio in patterns:
        f, o = results[name]
        mf, mo = statistics.median(f), statistics.median(o)
        print("| %s | %s | %s | %.1f | %.1f | %.2f |" % (
            name, " / ".join("%.0f" % v for v in f), " / ".join("%.0f" % v for v in o), mf, mo,
            mo / mf if mf else float("nan")))
    # CPU time (user + system, whole process, start-up included) per I/O:
    # what each program spends to move the same I/O, which other load on
    # the machine changes far less than the throughput.
    print()
    print("| pattern | fio CPU us/IO (median) | stavrion-load CPU us/IO (median) |")
    print("|---|---:|---:|")
    for name, ours, fio in patterns:
        f, o = cpus[name]
        print("| %s | %.2f | %.2f |" % (name, statistics.median(f), statistics.median(o)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
