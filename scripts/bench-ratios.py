#!/usr/bin/env python3
"""Reads Google Benchmark console output and prints each figure as a ratio against the
baseline of its group ("Group/baseline..."), measured in the same run."""
import re
import sys

rows = []
for line in sys.stdin:
    sys.stdout.write(line)
    m = re.match(r"^(\S+)\s+([\d.]+) (ns|us|ms|s)\s+([\d.]+) (ns|us|ms|s)\s+\d+", line)
    if m:
        scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[m.group(5)]
        rows.append((m.group(1), float(m.group(4)) * scale))

base = {}
for name, t in rows:
    group, _, what = name.partition("/")
    if what.startswith("baseline"):
        base[group] = (what, t)

print("\nRatios against the baseline of each group (cpu time; below 1 is faster):")
for name, t in rows:
    group, _, what = name.partition("/")
    if group in base and not what.startswith("baseline"):
        bname, bt = base[group]
        print(f"  {name:50s} {t / bt:10.2f} x {bname}")
