#!/usr/bin/env python3
"""Peak memory of searching, numbering and reporting one line of a given size (default 1 GiB).

    bench/memory.py SIFTON_CLI [--size BYTES] [--dir FOLDER] [--window SIFTON]

Writes FOLDER/one-line.txt (one line of 'a' bytes with NEEDLE in its middle, then LF) and runs
`-n NEEDLE` on it, from the file (mapped) and from a pipe (`cat FILE |`), with sifton-cli and
with ripgrep, the output drained by `wc -c`. For each run it gives the peak resident set
(ru_maxrss of the process: mapped file pages count there) and the peak anonymous memory (RssAnon
sampled every 2 ms: the program's own heap and buffers). With --window, the window (under the
X display in DISPLAY) searches the same file with /GO and is sampled the same way until its
result log has stopped growing.
"""
import argparse
import os
import subprocess
import sys
import threading
import time


def write_file(path, size):
    if os.path.exists(path) and os.path.getsize(path) == size + 1:
        return
    chunk = b"a" * (1 << 20)
    with open(path, "wb") as f:
        done = 0
        while done < size:
            piece = chunk if done != size // 2 else b"NEEDLE" + chunk[6:]
            piece = piece[: size - done]
            f.write(piece)
            done += len(piece)
        f.write(b"\n")


def rss_anon(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("RssAnon:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    return 0


class Sampler(threading.Thread):
    def __init__(self, pid):
        super().__init__(daemon=True)
        self.pid, self.peak, self.stop = pid, 0, False

    def run(self):
        while not self.stop:
            self.peak = max(self.peak, rss_anon(self.pid))
            time.sleep(0.002)


def measure(cmd, stdin_file=None):
    feeder = None
    stdin = None
    if stdin_file:
        feeder = subprocess.Popen(["cat", stdin_file], stdout=subprocess.PIPE)
        stdin = feeder.stdout
    wc = subprocess.Popen(["wc", "-c"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdin=stdin, stdout=wc.stdin)
    wc.stdin.close()
    if stdin:
        stdin.close()
    sampler = Sampler(proc.pid)
    sampler.start()
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.monotonic() - start
    sampler.stop = True
    out = int(wc.stdout.read().split()[0])
    wc.wait()
    if feeder:
        feeder.wait()
    return usage.ru_maxrss * 1024, sampler.peak, out, elapsed, os.waitstatus_to_exitcode(status)


def measure_window(program, path):
    folder = os.path.dirname(os.path.abspath(program))
    log = os.path.join(folder, os.path.basename(program) + ".out")
    proc = subprocess.Popen([program, path, "NEEDLE", "/GO"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    sampler = Sampler(proc.pid)
    sampler.start()
    hwm = 0
    last, still = -1, 0
    start = time.monotonic()
    while still < 20 and time.monotonic() - start < 600:
        time.sleep(0.1)
        size = os.path.getsize(log) if os.path.exists(log) else 0
        still = still + 1 if size == last and size > 0 else 0
        last = size
        try:
            with open(f"/proc/{proc.pid}/status") as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        hwm = int(line.split()[1]) * 1024
        except OSError:
            break
    sampler.stop = True
    proc.terminate()
    proc.wait()
    return hwm, sampler.peak, last


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("sifton")
    ap.add_argument("--size", type=int, default=1 << 30)
    ap.add_argument("--dir", default="/tmp")
    ap.add_argument("--window")
    args = ap.parse_args()
    path = os.path.join(args.dir, "one-line.txt")
    write_file(path, args.size)
    mib = 1 << 20
    print("| program | input | peak resident (MiB) | peak anonymous (MiB) | output bytes | seconds |")
    print("|---|---|---:|---:|---:|---:|")
    for name, cmd in (("sifton-cli", [args.sifton, "-n", "NEEDLE"]), ("rg", ["rg", "-n", "NEEDLE"])):
        for how in ("mapped file", "pipe"):
            full = cmd + [path] if how == "mapped file" else cmd
            rss, anon, out, secs, code = measure(full, None if how == "mapped file" else path)
            print(f"| {name} | {how} | {rss / mib:.1f} | {anon / mib:.1f} | {out} | {secs:.2f} |", flush=True)
    if args.window:
        hwm, anon, out = measure_window(args.window, path)
        print(f"| sifton (window) | mapped file | {hwm / mib:.1f} | {anon / mib:.1f} | {out} (log) | |")


if __name__ == "__main__":
    sys.exit(main())
