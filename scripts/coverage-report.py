#!/usr/bin/env python3
"""coverage-report.py SUMMARY.json: line and branch coverage per source folder and the ten least
covered files, from the summary gcovr writes with --json-summary."""
import json
import sys
from collections import defaultdict

FOLDERS = ["link", "model", "widgets", "app", "sim", "gif"]
LEAST = 10


def percent(covered, total):
    return f"{100.0 * covered / total:5.1f}%" if total else "   - "


def main(path):
    with open(path, encoding="utf-8") as f:
        files = json.load(f)["files"]
    sums = defaultdict(lambda: [0, 0, 0, 0])  # lines covered, lines, branches covered, branches
    for entry in files:
        folder = entry["filename"].split("/", 1)[0]
        s = sums[folder if folder in FOLDERS else "other"]
        s[0] += entry["line_covered"]
        s[1] += entry["line_total"]
        s[2] += entry["branch_covered"]
        s[3] += entry["branch_total"]

    print(f"{'folder':10} {'lines':>22} {'branches':>22}")
    total = [0, 0, 0, 0]
    for folder in FOLDERS + (["other"] if "other" in sums else []):
        lc, lt, bc, bt = sums[folder]
        total = [a + b for a, b in zip(total, (lc, lt, bc, bt))]
        print(f"{folder + '/':10} {percent(lc, lt)} {lc:>6}/{lt:<7} {percent(bc, bt)} {bc:>6}/{bt:<7}")
    lc, lt, bc, bt = total
    print(f"{'all':10} {percent(lc, lt)} {lc:>6}/{lt:<7} {percent(bc, bt)} {bc:>6}/{bt:<7}")

    ranked = sorted((e for e in files if e["line_total"]),
                    key=lambda e: (e["line_covered"] / e["line_total"],
                                   -(e["line_total"] - e["line_covered"])))
    print(f"\nThe {LEAST} least covered files (lines, branches):")
    for e in ranked[:LEAST]:
        print(f"  {percent(e['line_covered'], e['line_total'])} "
              f"{e['line_covered']:>5}/{e['line_total']:<5} "
              f"{percent(e['branch_covered'], e['branch_total'])}  {e['filename']}")


if __name__ == "__main__":
    main(sys.argv[1])
