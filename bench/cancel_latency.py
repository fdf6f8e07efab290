#!/usr/bin/env python3
"""How long sifton-cli takes to stop after Ctrl+C (SIGINT) in the middle of a large file.

Starts a search, waits until it has run for a while, sends SIGINT and measures the time until the
process has exited (the scan stops between lines, the file is closed, the counters are written).

    bench/cancel_latency.py SIFTON_CLI FILE [rounds]
"""

import signal
import statistics
import subprocess
import sys
import threading
import time


def main():
    cli, path = sys.argv[1], sys.argv[2]
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 11
    cases = {
        "rare literal": ["-q", "--stats", "-s", "QuantumFluxError", path],
        "reverse logic": ["-q", "--stats", "-s", "-v", "QuantumFluxError", path],
        "common literal, numbered, to a pipe": ["--stats", "-s", "-n", "WARN", path],
    }
    for title, args in cases.items():
        waits = []
        for r in range(rounds):
            proc = subprocess.Popen([cli] + args, stdout=subprocess.DEVNULL if "-q" in args else subprocess.PIPE,
                                    stderr=subprocess.PIPE)
            # The pipe is drained all along, so that the scan never waits for its reader.
            drain = None
            if proc.stdout is not None:
                drain = threading.Thread(target=lambda: proc.stdout.read())
                drain.start()
            time.sleep(0.05 + 0.01 * r)
            start = time.perf_counter()
            proc.send_signal(signal.SIGINT)
            proc.wait()
            waits.append(time.perf_counter() - start)
            if drain is not None:
                drain.join()
            stats = proc.stderr.read().decode()
            if proc.returncode != 130:
                print(f"  ({title}: the run ended before the signal: exit {proc.returncode})", file=sys.stderr)
        print(f"{title:40} cancel to exit: median {statistics.median(waits) * 1000:.1f} ms, "
              f"max {max(waits) * 1000:.1f} ms over {rounds} runs")
        last = stats.strip().replace("\n", "; ")
        print(f"{'':40} last run's counters: {last}")


if __name__ == "__main__":
    main()
