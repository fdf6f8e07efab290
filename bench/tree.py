#!/usr/bin/env python3
"""Times sifton-cli against ripgrep over a whole tree of files, paired round by round.

    bench/tree.py --sifton SIFTON_CLI [--tree FOLDER] [--runs N] [--markdown FILE]

The tree is made once in FOLDER (default bench/tree) from folders every Debian machine has:
/usr/include, /usr/share/doc and /usr/lib/python3, copied with their regular files only (links
and names beginning with "." left out, so that both tools search the very same files). Each round
runs every command once, in rotating order; the ratios are medians of the per-round ratios. Every
command writes into a pipe (`| wc -l`). The page cache is warmed by one untimed round.
"""

import argparse
import os
import shlex
import shutil
import statistics
import subprocess
import sys
import time

SOURCES = ["/usr/include", "/usr/share/doc", "/usr/lib/python3"]


def make_tree(tree):
    marker = os.path.join(tree, ".complete")
    if os.path.exists(marker):
        return
    shutil.rmtree(tree, ignore_errors=True)
    os.makedirs(tree)
    for source in SOURCES:
        if not os.path.isdir(source):
            continue
        target = os.path.join(tree, source.strip("/").replace("/", "_"))
        for folder, dirs, files in os.walk(source):
            dirs[:] = sorted(d for d in dirs if not d.startswith(".") and not os.path.islink(os.path.join(folder, d)))
            out = os.path.join(target, os.path.relpath(folder, source))
            os.makedirs(out, exist_ok=True)
            for name in files:
                path = os.path.join(folder, name)
                if name.startswith(".") or os.path.islink(path) or not os.path.isfile(path):
                    continue
                try:
                    shutil.copyfile(path, os.path.join(out, name))
                except OSError:
                    pass
    open(marker, "w").close()


def tree_size(tree):
    files = size = 0
    for folder, dirs, names in os.walk(tree):
        for name in names:
            if not name.startswith("."):
                files += 1
                size += os.path.getsize(os.path.join(folder, name))
    return files, size


def run_once(cmd):
    start = time.perf_counter()
    done = subprocess.run(["sh", "-c", cmd], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start, done.stdout.decode().strip()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sifton", required=True)
    ap.add_argument("--tree", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "tree"))
    ap.add_argument("--runs", type=int, default=11)
    ap.add_argument("--markdown")
    args = ap.parse_args()
    make_tree(args.tree)
    files, size = tree_size(args.tree)
    print(f"tree: {args.tree}: {files} files, {size / 1e6:.0f} MB from {', '.join(SOURCES)}", file=sys.stderr)
    s, t = shlex.quote(args.sifton), shlex.quote(args.tree)
    cases = [("rare string (EINVAL)", "EINVAL"), ("common string (return)", "return")]
    tools = {
        "sifton": "{s} -r -s -n {p} {t} | wc -l",
        "sifton -j1": "{s} -j1 -r -s -n {p} {t} | wc -l",
        "rg": "rg -a --no-ignore -F -s -n {p} {t} | wc -l",
        "rg -j1": "rg -j1 -a --no-ignore -F -s -n {p} {t} | wc -l",
    }
    names = list(tools)
    table = ["| case | lines sifton / rg | sifton-cli | sifton-cli -j1 | rg | rg -j1 | sifton/rg | sifton/rg -j1 "
             "| sifton -j1/rg -j1 |", "|---|---|---:|---:|---:|---:|---:|---:|---:|"]
    for title, pattern in cases:
        cmds = {n: c.format(s=s, p=shlex.quote(pattern), t=t) for n, c in tools.items()}
        counts = {n: run_once(cmds[n])[1] for n in names}
        times = {n: [] for n in names}
        for r in range(args.runs):
            for n in names[r % len(names):] + names[:r % len(names)]:
                times[n].append(run_once(cmds[n])[0])
        med = {n: statistics.median(times[n]) for n in names}

        def ratio(a, b):
            return statistics.median(x / y for x, y in zip(times[a], times[b]) if y > 0)

        row = (f"| {title} | {counts['sifton']} / {counts['rg']} | {med['sifton']:.3f} | {med['sifton -j1']:.3f} "
               f"| {med['rg']:.3f} | {med['rg -j1']:.3f} | {ratio('sifton', 'rg'):.2f} | {ratio('sifton', 'rg -j1'):.2f} "
               f"| {ratio('sifton -j1', 'rg -j1'):.2f} |")
        print(row, flush=True)
        table.append(row)
    print("\n" + "\n".join(table))
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write("\n".join(table) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
