#!/usr/bin/env python3
"""Times a search through the window (sifton-window-bench) next to sifton-cli doing the same work.

Both run with the window's default options: Line Counting, Progress Indication, Verbose Output,
refresh rate 1000, DOS text; sifton-cli as `--dos -V -q --log FILE`. Each round runs the two once,
in alternating order; the ratio window/console is the median of the per-round ratios, so that the
two compare runs made under the same load. The window's time is measured inside it, from the Search
command until the search thread is gone (the pane loaded); the console's is the wall time of its
process. The result logs of the two must be the same bytes, or no time is believed.
"""

import argparse
import filecmp
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time


def run_cli(cli, args, log):
    start = time.perf_counter()
    subprocess.run([cli, "--dos", "-V", "-q", "--log", log] + args, check=False,
                   stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def run_window(window, args, log, extra=()):
    out = subprocess.run([window, "--dos", "--log", log, *extra] + args, check=True,
                         capture_output=True, text=True).stdout
    fields = dict(re.findall(r"(\w+)=([0-9.]+)", out))
    return float(fields["seconds"]), fields, out.strip()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--cli", required=True)
    p.add_argument("--window", required=True)
    p.add_argument("--corpus", required=True, help="folder with corpus-crlf.txt and manifest.txt")
    p.add_argument("--list", help="a file naming many small files, one per line")
    p.add_argument("--runs", type=int, default=5)
    p.add_argument("--markdown")
    p.add_argument("--regex", action="store_true", help="the regular-expression cases of compare.py --regex")
    a = p.parse_args()

    manifest = dict(row.strip().split("=", 1) for row in open(os.path.join(a.corpus, "manifest.txt")))
    crlf = os.path.join(a.corpus, "corpus-crlf.txt")
    size = int(manifest["size"])
    cases = [
        (f"{size >> 20} MiB CR LF, rare string", [manifest["rare"], crlf], crlf),
        (f"{size >> 20} MiB CR LF, common string (5 %)", [manifest["common"], crlf], crlf),
    ]
    if a.regex:
        # (title, console arguments, window arguments): the window's boxes for -E and -s.
        patterns = [("lease [a-z]+ed", True), ("deadlock|renewed|notify", True), (r"\w+@\w+\.com", True),
                    ("error.*timeout", False), (r"\d{4}-\d{2}-\d{2}T", True)]
        cases = [(f"{size >> 20} MiB CR LF, -E {pattern}", ["-E"] + (["-s"] if exact else []) + [pattern, crlf],
                  crlf, ["--regex"] + (["--case-sensitive"] if exact else []) + [pattern, crlf])
                 for pattern, exact in patterns]
    elif a.list:
        count = sum(1 for _ in open(a.list))
        cases.append((f"{count:,} small files from a list", ["-L", a.list, "error"], None))

    tmp = tempfile.mkdtemp(prefix="sifton-window-bench-")
    cli_log, win_log = os.path.join(tmp, "cli.out"), os.path.join(tmp, "window.out")
    rows = []
    for title, args, warm, *own in cases:
        if warm:
            subprocess.run(["cat", warm], stdout=subprocess.DEVNULL, check=True)
        # The window takes the list file as its own switch; the console as -L.
        win_args = own[0] if own else ["--list", args[1], args[2]] if args[0] == "-L" else args
        cli_t, win_t, ratios, gaps, status_gaps = [], [], [], [], []
        for r in range(a.runs):
            order = [0, 1] if r % 2 == 0 else [1, 0]
            for who in order:
                if who == 0:
                    cli_t.append(run_cli(a.cli, args, cli_log))
                else:
                    t, fields, line = run_window(a.window, win_args, win_log)
                    win_t.append(t)
                    gaps.append(int(fields["max_event_gap_ms"]))
                    status_gaps.append(int(fields["max_status_gap_ms"]))
            if r == 0 and not filecmp.cmp(cli_log, win_log, shallow=False):
                sys.exit(f"{title}: the window's result log differs from sifton-cli's")
            ratios.append(win_t[-1] / cli_t[-1])
            print(f"{title} round {r + 1}: window {win_t[-1]:.3f} s, console {cli_t[-1]:.3f} s, "
                  f"ratio {ratios[-1]:.2f}; {line}", file=sys.stderr)
        rows.append((title, statistics.median(win_t), statistics.median(cli_t), statistics.median(ratios),
                     min(ratios), max(gaps), max(status_gaps)))

    cancel = []
    for r in range(0 if a.regex else a.runs):
        _, fields, _ = run_window(a.window, [manifest["rare"], crlf], win_log, ["--cancel-after", "20"])
        if "cancel_ms" in fields:
            cancel.append(float(fields["cancel_ms"]))

    lines = ["| work | window (s) | sifton-cli (s) | window / console (median) | best round | "
             "longest event-loop gap (ms) | longest status-bar pause (ms) |",
             "|---|---:|---:|---:|---:|---:|---:|"]
    for title, w, c, ratio, best, gap, sgap in rows:
        title = title.replace("|", "\\|")  # an alternation's bars are no column ends
        lines.append(f"| {title} | {w:.3f} | {c:.3f} | {ratio:.2f} | {best:.2f} | {gap} | {sgap} |")
    if cancel:
        lines.append("")
        lines.append(f"Cancel from the window (Cancel command 150 ms into the rare-string run, until the walk "
                     f"has ended), {len(cancel)} runs: median {statistics.median(cancel):.1f} ms, "
                     f"max {max(cancel):.1f} ms.")
    text = "\n".join(lines)
    print(text)
    if a.markdown:
        with open(a.markdown, "w") as f:
            f.write(text + "\n")


if __name__ == "__main__":
    main()
