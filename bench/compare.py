#!/usr/bin/env python3
"""Times sifton-cli, ripgrep and GNU grep on the same cases, interleaved round by round.

Times are in seconds: the median wall time of each tool, and the median processor time (user and
system time of every process of the command, the pipe's reader included), which stays meaningful
when other work shares the machine.

Each case re-reads its corpus file first (pages idle for a minute are dropped from the cache and
everything then runs twice as slowly). Every command writes to a pipe, never to /dev/null (grep
stops at the first match there). Each round runs the three tools once, in rotating order; the
ratios are medians of the per-round ratios, so that they compare runs made under the same load.
Every output is checked against the corpus manifest before any time is believed.

With --regex the cases are regular expressions, sifton-cli -E against ripgrep on one thread
(`rg -j1`); their line counts are checked against each other, the manifest not knowing them.
"""

import argparse
import os
import resource
import shlex
import statistics
import subprocess
import sys
import time


def read_manifest(path):
    values = {}
    with open(path) as f:
        for row in f:
            key, _, value = row.rstrip("\n").partition("=")
            values[key] = value
    return values


def cases(m, sifton, lf, crlf):
    """(title, file, expected count, {tool: shell command printing one number})."""
    q = shlex.quote
    rare, common, second, exclude = q(m["rare"]), q(m["common"]), q(m["second"]), q(m["exclude"])
    s = q(sifton)
    count = "2>&1 >/dev/null | sed -n 's/^Lines Found: //p'"
    return [
        ("rare literal, line numbers", lf, m["rare_lines"], {
            "sifton": f"{s} -s -n {rare} {lf} | wc -l",
            "rg": f"rg -F -n {rare} {lf} | wc -l",
            "grep": f"grep -F -n {rare} {lf} | wc -l"}),
        ("rare literal, case-insensitive", lf, m["rare_lines_folded"], {
            "sifton": f"{s} {rare} {lf} | wc -l",
            "rg": f"rg -F -i {rare} {lf} | wc -l",
            "grep": f"grep -F -i {rare} {lf} | wc -l"}),
        ("common literal (5%), line numbers, to a pipe", lf, m["common_lines"], {
            "sifton": f"{s} -s -n {common} {lf} | wc -l",
            "rg": f"rg -F -n {common} {lf} | wc -l",
            "grep": f"grep -F -n {common} {lf} | wc -l"}),
        ("reverse logic, count", lf, m["reverse_lines"], {
            "sifton": f"{s} -q --stats -s -v {rare} {lf} {count}",
            "rg": f"rg -F -v -c {rare} {lf}",
            "grep": f"grep -F -v -c {rare} {lf}"}),
        ("reverse logic, lines to a pipe", lf, m["reverse_lines"], {
            "sifton": f"{s} -s -v {rare} {lf} | wc -l",
            "rg": f"rg -F -v {rare} {lf} | wc -l",
            "grep": f"grep -F -v {rare} {lf} | wc -l"}),
        ("Or of two literals", lf, m["or_lines"], {
            "sifton": f"{s} -s --or {second} {rare} {lf} | wc -l",
            "rg": f"rg -F -e {rare} -e {second} {lf} | wc -l",
            "grep": f"grep -F -e {rare} -e {second} {lf} | wc -l"}),
        ("And Not (common and not another)", lf, m["andnot_lines"], {
            "sifton": f"{s} -s --and-not {exclude} {common} {lf} | wc -l",
            "rg": f"rg -F {common} {lf} | rg -F -v {exclude} | wc -l",
            "grep": f"grep -F {common} {lf} | grep -F -v {exclude} | wc -l"}),
        ("dense: nearly every line, numbered, folded", lf, None, {
            "sifton": f"{s} -n e {lf} | wc -l",
            "rg": f"rg -F -i -n e {lf} | wc -l",
            "grep": f"grep -F -i -n e {lf} | wc -l"}),
        ("DOS format on the CR LF file, line numbers", crlf, m["common_lines"], {
            "sifton": f"{s} --dos -s -n {common} {crlf} | wc -l",
            "rg": f"rg -F -n {common} {crlf} | wc -l",
            "grep": f"grep -F -n {common} {crlf} | wc -l"}),
    ]


def regex_cases(sifton, lf):
    """The regular-expression cases: (title, file, None, {tool: command}); rg's count is the check."""
    q = shlex.quote
    s = q(sifton)
    rows = [
        ("literal with a class", "lease [a-z]+ed", True),
        ("alternation of three words", "deadlock|renewed|notify", True),
        ("mail address", r"\w+@\w+\.com", True),
        ("two words, case-insensitive", "error.*timeout", False),
        ("no literal (ISO date)", r"\d{4}-\d{2}-\d{2}T", True),
    ]
    return [(f"{title}: {pattern}", lf, None, {
        "sifton": f"{s} -E {'-s ' if exact else ''}-n {q(pattern)} {lf} | wc -l",
        "rg": f"rg -j1 {'' if exact else '-i '}-n {q(pattern)} {lf} | wc -l"})
        for title, pattern, exact in rows]


def load():
    with open("/proc/loadavg") as f:
        return float(f.read().split()[0])


def run_once(cmd):
    """Wall time, processor time (user + system of every process of the pipeline), output."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run(["sh", "-c", cmd], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return elapsed, cpu, done.stdout.decode().strip(), done.stderr.decode().strip()


def reread(path):
    with open(path, "rb") as f:
        while f.read(1 << 24):
            pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sifton", required=True)
    ap.add_argument("--corpus", required=True)
    ap.add_argument("--runs", type=int, default=11)
    ap.add_argument("--markdown", help="also write the table here")
    ap.add_argument("--only", help="run only the cases whose title contains this text")
    ap.add_argument("--regex", action="store_true", help="the regular-expression cases, against rg -j1")
    ap.add_argument("--tools", default="sifton,rg,grep", help="comma-separated, from sifton, rg, grep")
    ap.add_argument("--taskset", help="run every command on these processors only (taskset -c LIST)")
    args = ap.parse_args()

    m = read_manifest(os.path.join(args.corpus, "manifest.txt"))
    lf = os.path.join(args.corpus, "corpus-lf.txt")
    crlf = os.path.join(args.corpus, "corpus-crlf.txt")
    tools = ["sifton", "rg"] if args.regex else args.tools.split(",")
    rows = []
    failed = False
    for title, path, expected, commands in regex_cases(args.sifton, lf) if args.regex else cases(
            m, args.sifton, lf, crlf):
        if args.only and args.only not in title:
            continue
        if args.taskset:
            commands = {t: f"taskset -c {args.taskset} sh -c {shlex.quote(c)}" for t, c in commands.items()}
        reread(path)
        # One untimed round: warms the cache and checks every output (against rg's when no count is known).
        outputs = {}
        for tool in tools:
            _, _, out, err = run_once(commands[tool])
            outputs[tool] = out
            if (expected is not None and out != expected) or err:
                print(f"WRONG: {title}: {tool} gave {out!r} (expected {expected}) {err}", file=sys.stderr)
                failed = True
        if expected is None and "rg" in outputs:
            expected = outputs["rg"]
            if outputs["sifton"] != expected:
                print(f"WRONG: {title}: sifton gave {outputs['sifton']!r}, rg {expected!r}", file=sys.stderr)
                failed = True
        wall = {t: [] for t in tools}
        cpu = {t: [] for t in tools}
        loads = [load()]
        for r in range(args.runs):
            order = tools[r % len(tools):] + tools[:r % len(tools)]
            for tool in order:
                w, c, _, _ = run_once(commands[tool])
                wall[tool].append(w)
                cpu[tool].append(c)
            loads.append(load())

        def paired(series, other):
            return statistics.median(a / b for a, b in zip(series["sifton"], series[other]) if b > 0)

        med = {t: statistics.median(wall[t]) for t in tools}
        medc = {t: statistics.median(cpu[t]) for t in tools}
        ratios = {t: paired(wall, t) for t in tools[1:]}
        cpu_ratios = {t: paired(cpu, t) for t in tools[1:]}
        rows.append((title, expected, med, ratios, medc, cpu_ratios, min(loads), max(loads)))
        print(f"{title:46} wall: " + " ".join(f"{t} {med[t]:.3f}" for t in tools)
              + "  ratios " + " ".join(f"{ratios[t]:.2f}" for t in tools[1:])
              + " | cpu: " + " ".join(f"{medc[t]:.3f}" for t in tools)
              + "  ratios " + " ".join(f"{cpu_ratios[t]:.2f}" for t in tools[1:])
              + f" | load {min(loads):.1f}-{max(loads):.1f}", flush=True)

    names = {"sifton": "sifton-cli", "rg": "rg -j1" if args.regex else "rg", "grep": "grep"}
    others = tools[1:]
    table = ["| case | lines | " + " | ".join(names[t] for t in tools) + " | "
             + " | ".join(f"sifton/{t}" for t in others) + " | "
             + " | ".join(f"CPU {names[t]}" for t in tools) + " | "
             + " | ".join(f"CPU sifton/{t}" for t in others) + " | load |",
             "|---|---:|" + "---:|" * (2 * len(tools) + 2 * len(others)) + "---|"]
    for title, expected, med, ratios, medc, cpu_ratios, low, high in rows:
        title = title.replace("|", "\\|")  # an alternation's bars are no column ends
        table.append(f"| {title} | {expected} | " + " | ".join(f"{med[t]:.3f}" for t in tools) + " | "
                     + " | ".join(f"{ratios[t]:.2f}" for t in others) + " | "
                     + " | ".join(f"{medc[t]:.3f}" for t in tools) + " | "
                     + " | ".join(f"{cpu_ratios[t]:.2f}" for t in others) + f" | {low:.1f} to {high:.1f} |")
    print("\n" + "\n".join(table))
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write("\n".join(table) + "\n")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
