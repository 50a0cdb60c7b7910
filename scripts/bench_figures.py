"""The whole-program benchmark figures, read from the pilot's logs and the folders the runs left.
Every figure of several runs is their median, with "_min" and "_max" beside it.

    python3 scripts/bench_figures.py download RUN_FOLDER
    python3 scripts/bench_figures.py limited RUN_FOLDER
    python3 scripts/bench_figures.py account RUN_FOLDER
    python3 scripts/bench_figures.py scale RUN_FOLDER
    python3 scripts/bench_figures.py startup RUN_FOLDER

A run folder holds one folder per run ("program-1", "curl-1", ...): the pilot's session.log, the
album folders the program saved into, and for curl its seconds in seconds.txt.
"""

import glob
import os
import re
import statistics
import sys

LIMIT_PER_SECOND = 100  # five pictures in flight, 50 ms each


def report(name, value, unit):
    print(f"BENCH {name} {value:.3f} {unit}", flush=True)


def spread(name, values, unit):
    """The median of the values, then their smallest and largest."""
    if not values:
        print(f"BENCH {name} missing", flush=True)
        return
    report(name, statistics.median(values), unit)
    report(f"{name}_min", min(values), unit)
    report(f"{name}_max", max(values), unit)


def number(log, pattern, kind=int):
    found = re.search(pattern, log, re.M)
    return kind(found.group(1)) if found else None


def is_picture(name):
    # The album's record and journal begin with "."; a picture still being written ends in "~"
    # and its writer's id.
    return not name.startswith(".") and not re.search(r"~[0-9a-z]{3,}$", name)


class Run:
    """One run of the program: what the pilot saw, and the pictures it left."""

    def __init__(self, folder):
        log = open(os.path.join(folder, "session.log"), encoding="utf-8").read()
        self.elapsed = number(log, r"^elapsed ms: (\d+)") / 1000
        self.final_at = number(log, r"^final line at: ([\d.]+)", float)
        self.slowest = number(log, r"^slowest answer ms: (\d+)")
        # Linux's count where the run left one: Wine's GetProcessTimes misses most of it.
        sampled = os.path.join(folder, "cpu_ms.txt")
        self.cpu_ms = int(open(sampled).read()) if os.path.exists(sampled) else number(log, r"^cpu ms: (\d+)")
        self.peak = number(log, r"^peak memory bytes: (\d+)")
        self.private = number(log, r"^private bytes: (\d+)")
        # What the program itself committed at its highest (older pilots printed no such line).
        self.peak_private = number(log, r"^peak private bytes: (\d+)") or self.private
        self.saved = number(log, r"当前已下载 (\d+)张") or 0
        # The moment the last picture took its name: the rename is the last change to its entry.
        times = [os.stat(path).st_ctime for path in glob.glob(os.path.join(folder, "*", "*", "*"))
                 if os.path.isfile(path) and is_picture(os.path.basename(path))]
        self.files = len(times)
        self.last_written = max(times) if times else None

    @property
    def rate(self):
        return self.saved / self.elapsed

    @property
    def end_detection_ms(self):
        return (self.final_at - self.last_written) * 1000


def runs(folder, kind):
    return [Run(path) for path in sorted(glob.glob(os.path.join(folder, f"{kind}-*")))]


def curl_seconds(folder):
    return [float(open(os.path.join(path, "seconds.txt")).read())
            for path in sorted(glob.glob(os.path.join(folder, "curl-*")))]


def download(folder):
    program = runs(folder, "program")
    curl = [500 / seconds for seconds in curl_seconds(folder)]
    spread("download_pictures_per_second", [run.rate for run in program], "pictures/s")
    spread("download_ratio_to_limit", [run.rate / LIMIT_PER_SECOND for run in program], "ratio")
    spread("download_curl_pictures_per_second", curl, "pictures/s")
    # Round by round: each program run against the curl run right after it.
    spread("download_ratio_to_curl", [run.rate / rate for run, rate in zip(program, curl)], "ratio")
    spread("download_end_detection_ms", [run.end_detection_ms for run in program], "ms")
    spread("download_peak_memory", [run.peak / 1048576 for run in program], "MB")
    spread("download_slowest_window_answer", [run.slowest for run in program], "ms")


def limited(folder):
    run, unlimited = runs(folder, "limited")[0], runs(folder, "program")
    report("download_limited_pictures_per_second", run.rate, "pictures/s")
    report("download_limited_files_saved", run.files, "files")
    report("download_limited_ratio_to_unlimited", run.rate / statistics.median(r.rate for r in unlimited), "ratio")


def account(folder):
    first = runs(folder, "program")
    spread("account_pictures_per_second", [run.rate for run in first], "pictures/s")
    spread("account_ratio_to_limit", [run.rate / LIMIT_PER_SECOND for run in first], "ratio")
    rerun = runs(folder, "rerun")[0]
    pictures = int(open(os.path.join(folder, "rerun-1", "picture_requests.txt")).read())
    report("account_rerun_picture_requests", pictures, "requests")
    report("account_rerun_seconds", rerun.elapsed, "s")
    report("account_rerun_pictures_counted", rerun.saved, "pictures")


def scale(folder):
    big, small, slow = runs(folder, "big"), runs(folder, "small"), runs(folder, "slow")
    spread("scale_20k_pictures_per_second", [run.rate for run in big], "pictures/s")
    for run in slow:
        report("scale_20k_pictures_per_second_at_50ms", run.rate, "pictures/s")
        report("scale_20k_ratio_to_limit_at_50ms", run.rate / LIMIT_PER_SECOND, "ratio")
    per_picture_big = statistics.median(run.cpu_ms / run.saved for run in big)
    per_picture_small = statistics.median(run.cpu_ms / run.saved for run in small)
    report("scale_20k_cpu_ms_per_picture", per_picture_big, "ms")
    report("scale_500_cpu_ms_per_picture", per_picture_small, "ms")
    report("scale_20k_cpu_per_picture_ratio", per_picture_big / per_picture_small, "ratio")
    # The program's own memory at its highest; the working set beside it also counts the pages
    # of Wine's libraries, about 50 MB of any Wine program.
    spread("scale_20k_peak_memory", [run.peak_private / 1048576 for run in big + slow], "MB")
    spread("scale_500_peak_memory", [run.peak_private / 1048576 for run in small], "MB")
    spread("scale_20k_peak_working_set", [run.peak / 1048576 for run in big + slow], "MB")
    spread("scale_20k_slowest_window_answer", [run.slowest for run in big + slow], "ms")
    loads = [float(open(path).read().split()[0]) for path in sorted(glob.glob(os.path.join(folder, "big-*", "load.txt")))]
    spread("scale_20k_load_during_runs", loads, "load")


def startup(folder):
    def visible(kind):
        values = []
        for path in sorted(glob.glob(os.path.join(folder, f"{kind}-*.log"))):
            found = number(open(path, encoding="utf-8").read(), r"^visible ms: (\d+)")
            if found is not None:
                values.append(found)
        return values
    piclade, minimal = visible("piclade"), visible("minimal")
    spread("startup_piclade_ms", piclade, "ms")
    spread("startup_minimal_window_ms", minimal, "ms")
    spread("startup_ratio_to_minimal_window", [a / b for a, b in zip(piclade, minimal) if b], "ratio")
    log = open(os.path.join(folder, "idle.log"), encoding="utf-8").read()
    report("idle_memory_after_sign_in", number(log, r"^private bytes: (\d+)") / 1048576, "MB")


if __name__ == "__main__":
    {"download": download, "limited": limited, "account": account, "scale": scale,
     "startup": startup}[sys.argv[1]](sys.argv[2])
