#!/usr/bin/env python3
"""Difference size and speed benchmark on real version pairs from the npm registry.

Fetches consecutive releases of a few packages that ship large executables,
then measures, for each pair and side by side: the difference size (selfpatch
after raw DEFLATE level 9, bsdiff, xdelta3 -9, zstd -19 --long=27
--patch-from), the time and peak memory of making each difference, and the
time and peak memory of applying it, all as whole processes. Every applied
result is compared byte for byte with the new file. Prints a table and the
ratios to the peers.

Usage:
  bench/difference_corpus.py --tool build/h5-rel/tools/make/selfpatch-make \
      [--work build/bench-corpus] [--runs 15] [--pairs NAME,...]

The downloads and every intermediate file stay under --work (the build
folder, never committed). Needs npm, bsdiff, xdelta3 and zstd on the PATH.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tarfile
import time
import zlib

# (name, npm package, old version, new version, file inside the package)
PAIRS = [
    ("esbuild-win", "@esbuild/win32-x64", "0.28.1", "0.28.2", "package/esbuild.exe"),
    ("esbuild-win-b", "@esbuild/win32-x64", "0.25.11", "0.25.12", "package/esbuild.exe"),
    ("esbuild-linux", "@esbuild/linux-x64", "0.28.1", "0.28.2", "package/bin/esbuild"),
    ("biome", "@biomejs/cli-win32-x64", "2.6.8", "2.6.9", "package/biome.exe"),
    ("swc", "@swc/core-win32-x64-msvc", "1.16.20", "1.16.22", "package/swc.win32-x64-msvc.node"),
    ("rollup", "@rollup/rollup-win32-x64-msvc", "4.69.3", "4.70.0",
     "package/rollup.win32-x64-msvc.node"),
    ("rollup-b", "@rollup/rollup-win32-x64-msvc", "4.68.9", "4.69.1",
     "package/rollup.win32-x64-msvc.node"),
]

# Apply times count towards the apply goal only for files of this size or more.
APPLY_GOAL_MIN_SIZE = 2 * 1000 * 1000


def fetch(work, package, version, member):
    """Downloads package@version with npm pack and returns the extracted member."""
    folder = os.path.join(work, "packages", package.replace("/", "_").lstrip("@") + "-" + version)
    target = os.path.join(folder, member)
    if os.path.exists(target):
        return target
    os.makedirs(folder, exist_ok=True)
    result = subprocess.run(["npm", "pack", f"{package}@{version}", "--silent",
                             "--pack-destination", folder],
                            capture_output=True, text=True, check=True)
    tarball = os.path.join(folder, result.stdout.strip().splitlines()[-1])
    with tarfile.open(tarball) as archive:
        archive.extract(member, folder)
    os.remove(tarball)
    return target


def spawn(command, log):
    """Runs a command with its output discarded and its errors in `log`;
    returns (wall seconds, rusage). Fails loudly."""
    actions = [(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
               (os.POSIX_SPAWN_OPEN, 2, log, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)]
    start = time.perf_counter()
    pid = os.posix_spawn(command[0], command, os.environ, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    seconds = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        with open(log, errors="replace") as f:
            raise RuntimeError(f"{' '.join(command)} failed: {f.read().strip()}")
    return seconds, usage


def run_timed(command, log):
    """Wall and CPU seconds of one run of a command, started directly."""
    seconds, usage = spawn([shutil.which(command[0])] + command[1:], log)
    return seconds, usage.ru_utime + usage.ru_stime


def run_peak(command, log):
    """Peak resident KiB of one run of a command.

    A child's own peak starts at the size of the process it was started from,
    so the command runs under /usr/bin/time, which is small where Python is not.
    """
    report = log + ".peak"
    spawn(["/usr/bin/time", "-f", "%M", "-o", report] + command, log)
    with open(report) as f:
        return int(f.read().split()[-1])


def deflated_size(path):
    with open(path, "rb") as f:
        data = f.read()
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15, 9)
    return len(compressor.compress(data) + compressor.flush())


def same_bytes(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            x = fa.read(1 << 20)
            y = fb.read(1 << 20)
            if x != y:
                return False
            if not x:
                return True


def measure_pair(tool, old, new, scratch, results_folder, runs):
    """Sizes, make and apply measurements of every method for one pair."""
    out = os.path.join(results_folder, "result")
    log = os.path.join(scratch, "stderr.log")
    methods = {
        "selfpatch": {
            "diff": lambda d: [tool, "diff", old, new, d],
            "apply": lambda d: [tool, "apply", old, d, out],
            "size": deflated_size,
        },
        "bsdiff": {
            "diff": lambda d: ["bsdiff", old, new, d],
            "apply": lambda d: ["bspatch", old, out, d],
            "size": os.path.getsize,
        },
        "xdelta3": {
            "diff": lambda d: ["xdelta3", "-9", "-e", "-f", "-s", old, new, d],
            "apply": lambda d: ["xdelta3", "-d", "-f", "-s", old, d, out],
            "size": os.path.getsize,
        },
        "zstd": {
            "diff": lambda d: ["zstd", "-q", "-f", "-19", "--long=27", f"--patch-from={old}",
                               new, "-o", d],
            "apply": lambda d: ["zstd", "-q", "-f", "-d", "--long=27", f"--patch-from={old}",
                                d, "-o", out],
            "size": os.path.getsize,
        },
    }
    results = {}
    deltas = {}
    for name, method in methods.items():
        delta = os.path.join(scratch, "delta." + name)
        diff_seconds, _ = run_timed(method["diff"](delta), log)
        diff_kib = run_peak(method["diff"](delta), log)
        deltas[name] = delta
        results[name] = {"size": method["size"](delta), "diff_s": diff_seconds,
                         "diff_kib": diff_kib, "apply_times": [], "apply_cpu": []}
    # The methods take turns run by run, so that a busy moment of the machine
    # falls on all of them alike.
    for _ in range(runs):
        for name, method in methods.items():
            if os.path.exists(out):
                os.remove(out)
            seconds, cpu = run_timed(method["apply"](deltas[name]), log)
            if not same_bytes(out, new):
                raise RuntimeError(f"{name}: the applied result differs from the new file")
            results[name]["apply_times"].append(seconds)
            results[name]["apply_cpu"].append(cpu)
    for name, method in methods.items():
        os.remove(out)
        results[name]["apply_kib"] = run_peak(method["apply"](deltas[name]), log)
        if not same_bytes(out, new):
            raise RuntimeError(f"{name}: the applied result differs from the new file")
    for r in results.values():
        r["apply_s"] = statistics.median(r.pop("apply_times"))
        r["apply_cpu_s"] = statistics.median(r.pop("apply_cpu"))
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", required=True, help="the selfpatch-make executable (Release)")
    parser.add_argument("--work", default=os.path.join(os.path.dirname(__file__), "..", "build",
                                                       "bench-corpus"))
    parser.add_argument("--runs", type=int, default=15, help="apply runs per method (median)")
    parser.add_argument("--pairs", help="comma-separated pair names (default: all)")
    args = parser.parse_args()

    # Debian package of each program the benchmark runs.
    needed = {"npm": "npm", "bsdiff": "bsdiff", "bspatch": "bsdiff", "xdelta3": "xdelta3",
              "zstd": "zstd"}
    needed["/usr/bin/time"] = "time"
    for program, package in needed.items():
        if shutil.which(program) is None:
            sys.exit(f"missing {program}: install the Debian package {package}")
    tool = os.path.abspath(args.tool)
    work = os.path.abspath(args.work)
    wanted = set(args.pairs.split(",")) if args.pairs else None
    pairs = [p for p in PAIRS if wanted is None or p[0] in wanted]

    # Applied results go to memory when the system offers a RAM file system, so
    # that the virtual disk's write-back does not blur the tools' own times.
    shm = "/dev/shm"
    results_folder = os.path.join(shm if os.path.isdir(shm) else work, f"selfpatch-bench-{os.getpid()}")
    os.makedirs(results_folder, exist_ok=True)
    rows = []
    for name, package, old_version, new_version, member in pairs:
        old = fetch(work, package, old_version, member)
        new = fetch(work, package, new_version, member)
        scratch = os.path.join(work, "scratch", name)
        os.makedirs(scratch, exist_ok=True)
        print(f"measuring {name}: {package} {old_version} -> {new_version}", file=sys.stderr)
        rows.append((name, os.path.getsize(old), os.path.getsize(new),
                     measure_pair(tool, old, new, scratch, results_folder, args.runs)))
    shutil.rmtree(results_folder, ignore_errors=True)

    peers = ("bsdiff", "xdelta3", "zstd")
    print("Difference size in bytes (selfpatch: after raw DEFLATE -9)")
    print(f"{'pair':14} {'old':>10} {'new':>10} {'selfpatch':>10} {'bsdiff':>10} {'xdelta3':>10} "
          f"{'zstd':>10}   {'/bsdiff':>7} {'/xdelta3':>8} {'/zstd':>6}")
    totals = {m: 0 for m in ("selfpatch",) + peers}
    for name, old_size, new_size, r in rows:
        for m in totals:
            totals[m] += r[m]["size"]
        s = r["selfpatch"]["size"]
        print(f"{name:14} {old_size:10} {new_size:10} {s:10} {r['bsdiff']['size']:10} "
              f"{r['xdelta3']['size']:10} {r['zstd']['size']:10}   "
              f"{s / r['bsdiff']['size']:7.3f} {s / r['xdelta3']['size']:8.3f} "
              f"{s / r['zstd']['size']:6.3f}")
    s = totals["selfpatch"]
    print(f"{'total':14} {'':10} {'':10} {s:10} {totals['bsdiff']:10} {totals['xdelta3']:10} "
          f"{totals['zstd']:10}   {s / totals['bsdiff']:7.3f} {s / totals['xdelta3']:8.3f} "
          f"{s / totals['zstd']:6.3f}")

    print()
    print("Making the difference: seconds / peak MiB")
    print(f"{'pair':14} " + " ".join(f"{m:>17}" for m in ("selfpatch",) + peers) +
          f"   {'time/bsdiff':>11} {'mem/bsdiff':>10}")
    for name, _, _, r in rows:
        cells = " ".join(f"{r[m]['diff_s']:8.2f} /{r[m]['diff_kib'] / 1024:7.1f}"
                         for m in ("selfpatch",) + peers)
        print(f"{name:14} {cells}   {r['selfpatch']['diff_s'] / r['bsdiff']['diff_s']:11.3f} "
              f"{r['selfpatch']['diff_kib'] / r['bsdiff']['diff_kib']:10.3f}")

    print()
    print(f"Applying the difference (median of {args.runs}): wall seconds / CPU seconds / peak MiB")
    print(f"{'pair':14} " + " ".join(f"{m:>24}" for m in ("selfpatch",) + peers) +
          f"   {'fastest peer/selfpatch':>22}")
    print(f"{'':14} " + " ".join(f"{'':>24}" for m in ("selfpatch",) + peers) +
          f"   {'wall':>10} {'CPU':>11}")
    for name, _, new_size, r in rows:
        cells = " ".join(f"{r[m]['apply_s']:7.3f} /{r[m]['apply_cpu_s']:7.3f} /{r[m]['apply_kib'] / 1024:6.1f}"
                         for m in ("selfpatch",) + peers)
        fastest = min(r[m]["apply_s"] for m in peers)
        fastest_cpu = min(r[m]["apply_cpu_s"] for m in peers)
        note = "" if new_size >= APPLY_GOAL_MIN_SIZE else " (under 2 MB)"
        print(f"{name:14} {cells}   {fastest / r['selfpatch']['apply_s']:10.2f} "
              f"{fastest_cpu / r['selfpatch']['apply_cpu_s']:11.2f}{note}")
    print()
    print("Every applied result was compared byte for byte with the new file; results "
          "were written to " + ("/dev/shm." if results_folder.startswith(shm) else "the work folder."))


if __name__ == "__main__":
    main()
