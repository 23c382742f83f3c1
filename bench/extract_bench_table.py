#!/usr/bin/env python3
"""Prints the table of bench/extract_bench.sh.

  extract_bench_table.py LOG FS

LOG holds one line per run, fields separated by tabs:
  LABEL FS wall_seconds cpu_seconds peak_rss_kib exit_code
For the runs of FS, prints the median wall time, median CPU time and largest peak RSS
of every label, then the ratios of "sfx-pack extract" to "unzip" and to "7z". When the
log holds the idle runs of FS "runtime" ("sfx-pack --version", "unzip -v"), it also
prints how much each extractor's peak RSS lies above its own program's idle run: what
the extraction itself takes beyond the runtime's and the libraries' baseline.
"""
import statistics
import sys


IDLE_RUNS = {"sfx-pack extract": "sfx-pack --version", "unzip": "unzip -v"}


def table(log, fs):
    runs = {}
    order = []
    idle = {}
    with open(log) as lines:
        for line in lines:
            label, where, wall, cpu, rss, code = line.rstrip("\n").split("\t")
            if where == "runtime":
                idle[label] = max(idle.get(label, 0), int(rss))
            if where != fs:
                continue
            if label not in runs:
                runs[label] = []
                order.append(label)
            runs[label].append((float(wall), float(cpu), int(rss), int(code)))
    figures = {}
    for label in order:
        rows = runs[label]
        figures[label] = (statistics.median(r[0] for r in rows),
                          statistics.median(r[1] for r in rows),
                          max(r[2] for r in rows),
                          len(rows),
                          sum(1 for r in rows if r[3] != 0))
    print(f"{'tool':<22} {'runs':>4} {'wall s':>8} {'cpu s':>8} {'peak RSS':>10}")
    for label in order:
        wall, cpu, rss, count, failed = figures[label]
        note = f"  ({failed} failed)" if failed else ""
        print(f"{label:<22} {count:>4} {wall:>8.3f} {cpu:>8.3f} {rss / 1024:>7.1f} MiB{note}")
    ours = figures.get("sfx-pack extract")
    if ours:
        for other in ("unzip", "7z"):
            if other in figures:
                theirs = figures[other]
                print(f"sfx-pack/{other:<6} wall {ours[0] / theirs[0]:.2f}  cpu {ours[1] / theirs[1]:.2f}"
                      f"  peak RSS {ours[2] / theirs[2]:.2f}")
    above = [f"{label} {(figures[label][2] - idle[base]) / 1024:+.2f} MiB"
             for label, base in IDLE_RUNS.items() if label in figures and base in idle]
    if above:
        print("peak RSS above the idle run: " + ", ".join(above))


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    table(argv[1], argv[2])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
