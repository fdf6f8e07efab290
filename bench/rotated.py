#!/usr/bin/env python3
"""Times sifton-cli -z against ripgrep (rg -z), zgrep and xzgrep on compressed logs, paired round by round.

    bench/rotated.py --sifton SIFTON_CLI [--corpus-tool SIFTON_CORPUS] [--dir FOLDER] [--size BYTES]
                     [--big BYTES] [--runs N] [--markdown FILE]

Made once in FOLDER (default bench/rotated), from the corpus generator's log text:
  logs/   200 rotated logs, app.log.1.gz .. app.log.200.zst: the text of a corpus of --size bytes (default
          2 GiB) cut at line ends into 200 pieces; 100 written by gzip -6, 50 by xz -6, 50 by zstd -3
  big/    one log of --big bytes (default 1 GiB) written by gzip -6
The commands as a user types them, each into a pipe (`| wc -l`); ripgrep with its default threads over
the folder, with -j1 on the one big log (it decompresses in a process of its own either way). zgrep
reads gzip only, so it gets the 100 gzip logs (sifton-cli the same files); xzgrep reads every format.
Each round runs every command once, in rotating order; ratios are medians of the per-round ratios.
Every count is checked before any time is believed. Peak memory: one more run of each sifton-cli
command with its anonymous memory (RssAnon) sampled every 2 ms, and its peak resident set.
"""

import argparse
import concurrent.futures
import os
import shlex
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from memory import Sampler  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def manifest(path):
    values = {}
    with open(path) as f:
        for row in f:
            key, _, value = row.rstrip("\n").partition("=")
            values[key] = value
    return values


def make_corpus(tool, size, out):
    if os.path.exists(os.path.join(out, "manifest.txt")) and manifest(os.path.join(out, "manifest.txt")).get("size") == str(size):
        return
    print(f"rotated: writing a corpus of {size} bytes to {out}", file=sys.stderr)
    subprocess.run([tool, "--size", str(size), "--out", out], check=True)
    os.remove(os.path.join(out, "corpus-crlf.txt"))


def compress(plain, packed, command):
    with open(plain, "rb") as src, open(packed + ".part", "wb") as dst:
        subprocess.run(command, stdin=src, stdout=dst, check=True)
    os.replace(packed + ".part", packed)
    os.remove(plain)


def make_logs(corpus, folder, jobs):
    marker = os.path.join(folder, ".complete")
    if os.path.exists(marker):
        return
    os.makedirs(folder, exist_ok=True)
    text = os.path.join(corpus, "corpus-lf.txt")
    total = os.path.getsize(text)
    piece = total // 200
    pending = []
    with open(text, "rb") as f, concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        for i in range(1, 201):
            data = f.read(piece) if i < 200 else f.read()
            data += f.readline() if i < 200 else b""  # cut at a line end
            plain = os.path.join(folder, f"app.log.{i}")
            with open(plain, "wb") as out:
                out.write(data)
            if i <= 100:
                name, command = plain + ".gz", ["gzip", "-6", "-c"]
            elif i <= 150:
                name, command = plain + ".xz", ["xz", "-6", "-T1", "-c"]
            else:
                name, command = plain + ".zst", ["zstd", "-3", "-q", "-c"]
            pending.append(pool.submit(compress, plain, name, command))
            # A few pieces ahead at most, so the plain copies never fill the disk.
            while sum(not p.done() for p in pending) > 2 * jobs:
                time.sleep(0.05)
        for p in pending:
            p.result()
    open(marker, "w").close()


def make_big(corpus, folder):
    path = os.path.join(folder, "big.log.gz")
    if os.path.exists(path):
        return path
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(corpus, "corpus-lf.txt"), "rb") as src, open(path + ".part", "wb") as dst:
        subprocess.run(["gzip", "-6", "-c"], stdin=src, stdout=dst, check=True)
    os.replace(path + ".part", path)
    return path


def run_once(cmd):
    start = time.perf_counter()
    done = subprocess.run(["sh", "-c", cmd], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start, done.stdout.decode().strip()


def peak_memory(cmd):
    """Peak anonymous memory and peak resident set of sifton-cli's own process (argv, into wc -l)."""
    wc = subprocess.Popen(["wc", "-l"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
    proc = subprocess.Popen(cmd, stdout=wc.stdin, stderr=subprocess.DEVNULL)
    wc.stdin.close()
    sampler = Sampler(proc.pid)
    sampler.start()
    _, _, usage = os.wait4(proc.pid, 0)
    sampler.stop = True
    wc.wait()
    return sampler.peak, usage.ru_maxrss * 1024


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sifton", required=True)
    ap.add_argument("--corpus-tool")
    ap.add_argument("--dir", default=os.path.join(HERE, "rotated"))
    ap.add_argument("--size", type=int, default=2 << 30)
    ap.add_argument("--big", type=int, default=1 << 30)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--only")
    ap.add_argument("--markdown")
    args = ap.parse_args()
    tool = args.corpus_tool or os.path.join(os.path.dirname(os.path.abspath(args.sifton)), "sifton-corpus")
    jobs = os.cpu_count() or 1

    corpus_logs = os.path.join(args.dir, "corpus-logs")
    make_corpus(tool, args.size, corpus_logs)
    logs = os.path.join(args.dir, "logs")
    make_logs(corpus_logs, logs, jobs)
    m_logs = manifest(os.path.join(corpus_logs, "manifest.txt"))
    corpus_big = os.path.join(args.dir, "corpus-big")
    make_corpus(tool, args.big, corpus_big)
    big = make_big(corpus_big, os.path.join(args.dir, "big"))
    m_big = manifest(os.path.join(corpus_big, "manifest.txt"))
    packed = sum(os.path.getsize(os.path.join(logs, n)) for n in os.listdir(logs) if not n.startswith("."))
    print(f"rotated: {logs}: 200 logs, {int(m_logs['bytes_lf']) / 1e9:.2f} GB of text in {packed / 1e6:.0f} MB; "
          f"{big}: {int(m_big['bytes_lf']) / 1e9:.2f} GB in {os.path.getsize(big) / 1e6:.0f} MB", file=sys.stderr)

    s, d, b = shlex.quote(args.sifton), shlex.quote(logs), shlex.quote(big)
    gz = " ".join(shlex.quote(os.path.join(logs, f"app.log.{i}.gz")) for i in range(1, 101))
    rare, common = shlex.quote(m_logs["rare"]), shlex.quote(m_logs["common"])
    cases = [
        ("200 rotated logs, rare literal", m_logs["rare_lines"], {
            "sifton": f"{s} -r -z -s {rare} {d} | wc -l",
            "rg -z": f"rg -z -a --no-ignore -F -s {rare} {d} | wc -l",
            "xzgrep": f"xzgrep -F {rare} {d}/app.log.* | wc -l"}),
        ("200 rotated logs, common literal (5%), numbered", m_logs["common_lines"], {
            "sifton": f"{s} -r -z -s -n {common} {d} | wc -l",
            "rg -z": f"rg -z -a --no-ignore -F -s -n {common} {d} | wc -l"}),
        ("100 gzip logs, rare literal", None, {
            "sifton": f"{s} -z -s {rare} {gz} | wc -l",
            "rg -z": f"rg -z -a --no-ignore -F -s {rare} {gz} | wc -l",
            "zgrep": f"zgrep -F {rare} {gz} | wc -l"}),
        ("1 GiB gzip log, rare literal, numbered", m_big["rare_lines"], {
            "sifton": f"{s} -z -s -n {rare} {b} | wc -l",
            "rg -z -j1": f"rg -z -j1 -F -s -n {rare} {b} | wc -l"}),
        ("1 GiB gzip log, common literal (5%), numbered", m_big["common_lines"], {
            "sifton": f"{s} -z -s -n {common} {b} | wc -l",
            "rg -z -j1": f"rg -z -j1 -F -s -n {common} {b} | wc -l"}),
    ]
    print(f"rotated: {jobs} cores; load {open('/proc/loadavg').read().split()[:3]}", file=sys.stderr)
    table = ["| case | lines | sifton-cli | other | ratio | other | ratio | peak anonymous (MiB) | peak resident (MiB) |",
             "|---|---:|---:|---|---:|---|---:|---:|---:|"]
    for title, expected, tools in cases:
        if args.only and args.only not in title:
            continue
        names = list(tools)
        counts = {n: run_once(tools[n])[1] for n in names}
        if expected is None:
            expected = counts["sifton"]
        wrong = [n for n in names if counts[n] != expected]
        if wrong:
            print(f"{title}: counts {counts}, expected {expected}", file=sys.stderr)
            return 1
        times = {n: [] for n in names}
        for r in range(args.runs):
            for n in names[r % len(names):] + names[:r % len(names)]:
                times[n].append(run_once(tools[n])[0])
        med = {n: statistics.median(times[n]) for n in names}

        def ratio(other):
            return statistics.median(x / y for x, y in zip(times["sifton"], times[other]) if y > 0)

        argv = shlex.split(tools["sifton"].split(" | ")[0])
        anon, rss = peak_memory(argv)
        others = [n for n in names if n != "sifton"]
        cells = "".join(f" {n} {med[n]:.3f} | {ratio(n):.2f} |" for n in others)
        cells += " | |" * (2 - len(others))
        row = f"| {title} | {expected} | {med['sifton']:.3f} |{cells} {anon / 2**20:.1f} | {rss / 2**20:.1f} |"
        print(row, flush=True)
        table.append(row)
    print(f"rotated: load {open('/proc/loadavg').read().split()[:3]}", file=sys.stderr)
    print("\n" + "\n".join(table))
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write("\n".join(table) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
