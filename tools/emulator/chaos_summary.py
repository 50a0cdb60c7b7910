"""Sums the chaos run's per-seed logs (the driver's output): python3 -m tools.emulator.chaos_summary LOG...

Prints the coverage summed over the seeds (answers per fault class and kind of request, hostile
values per class), then the failures by what broke ("[bytes]", "[whole]", ...) with the seeds that
showed each. Exit code 1 when any seed failed."""

import re
import sys
from collections import OrderedDict

RESULT = re.compile(r"^RESULT seed=(-?\d+) level=(\S+) outcome=(\S+) seconds=([\d.]+)")
TAG = re.compile(r"^  FAIL \[([^\]]+)\] (.*)$")


def read(path):
    """(seed, outcome, seconds, failures, faults, values) of one log; outcome "FAIL" also when the
    log holds a heap report or no RESULT line at all."""
    seed, outcome, seconds, failures = None, "FAIL", 0.0, []
    faults, values = OrderedDict(), OrderedDict()
    with open(path, encoding="utf-8", errors="replace") as log:
        for line in log:
            line = line.rstrip("\n")
            found = RESULT.match(line)
            if found:
                seed, outcome, seconds = int(found.group(1)), found.group(3), float(found.group(4))
            tagged = TAG.match(line)
            if tagged:
                failures.append((tagged.group(1), tagged.group(2)))
            if re.search(r"(err|warn):heap", line):
                outcome = "FAIL"
                failures.append(("heap", line.strip()))
            if line.startswith("COVERAGE\t"):
                for field in line.split("\t")[1:]:
                    parts = field.split("|")
                    if parts[0] == "fault":
                        row = faults.setdefault(parts[1], OrderedDict())
                        row[parts[2]] = row.get(parts[2], 0) + int(parts[3])
                    elif parts[0] == "value":
                        values[parts[1]] = values.get(parts[1], 0) + int(parts[2])
    if seed is None:
        failures.append(("no-result", "the driver printed no result"))
    return seed, outcome, seconds, failures, faults, values


def table(faults, values, title):
    kinds = []
    for row in faults.values():
        kinds += [kind for kind in row if kind not in kinds]
    lines = [title, "  %-26s" % "fault" + "".join(" %10s" % kind for kind in kinds) + " %10s" % "total"]
    for name, row in faults.items():
        lines.append("  %-26s" % name + "".join(" %10d" % row.get(kind, 0) for kind in kinds) + " %10d" % sum(row.values()))
    lines.append("  %-26s %10s" % ("hostile value", "values"))
    lines += ["  %-26s %10d" % (name, count) for name, count in values.items()]
    return "\n".join(lines)


def main(paths):
    faults, values = OrderedDict(), OrderedDict()
    by_tag = OrderedDict()
    failed, seeds, seconds = [], 0, 0.0
    for path in paths:
        seed, outcome, spent, failures, seed_faults, seed_values = read(path)
        seeds += 1
        seconds += spent
        for name, row in seed_faults.items():
            into = faults.setdefault(name, OrderedDict())
            for kind, count in row.items():
                into[kind] = into.get(kind, 0) + count
        for name, count in seed_values.items():
            values[name] = values.get(name, 0) + count
        if outcome != "ok" or failures:
            failed.append(seed if seed is not None else path)
        for tag, text in failures:
            entry = by_tag.setdefault(tag, {"seeds": [], "example": (seed, text)})
            if seed not in entry["seeds"]:
                entry["seeds"].append(seed)
    print(table(faults, values, f"coverage of {seeds} seeds"))
    print(f"{seeds} seeds, {len(failed)} failed, {seconds:.0f} s in the seeds")
    for tag, entry in by_tag.items():
        shown = ", ".join(str(seed) for seed in entry["seeds"][:20]) + (" …" if len(entry["seeds"]) > 20 else "")
        print(f"  [{tag}] {len(entry['seeds'])} seeds: {shown}")
        print(f"      e.g. seed {entry['example'][0]}: {entry['example'][1][:300]}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
