#!/usr/bin/env python3
"""Wall time, peak memory and package size of `selfpatch-make build` on a
realistic tree, beside a plain `zip -9` of the new tree.

Makes an old tree by copying a seeded sample of the regular files of a system
folder up to a size, then a new tree from it with a seeded tenth of the files
changed the way a rebuild changes them (bytes rewritten in a few places and a
block inserted), 1 % deleted, 1 % added and one folder dropped. Runs the build
once (it reads its own package back and checks every entry before it
reports success) and zip -9 once, as whole processes.

Usage:
  bench/build_tree_bench.py --tool build/h6-rel/tools/make/selfpatch-make \
      [--source /usr/lib] [--megabytes 300] [--work build/h6-bench]
"""

import argparse
import os
import random
import resource
import shutil
import subprocess
import sys
import time


def copy_tree(source, target, limit, rng):
    files = []
    for root, dirs, names in os.walk(source):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(root, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            files.append(path)
    # A seeded sample across the whole folder: many small files and a few
    # large ones, as an installed application has.
    rng.shuffle(files)
    total = 0
    copied = []
    for path in files:
        size = os.path.getsize(path)
        if total + size > limit:
            continue
        relative = os.path.relpath(path, source)
        destination = os.path.join(target, relative)
        os.makedirs(os.path.dirname(destination), exist_ok=True)
        try:
            shutil.copyfile(path, destination)
        except OSError:
            continue
        total += size
        copied.append(relative)
    return sorted(copied), total


def rebuild(data, rng):
    data = bytearray(data)
    for _ in range(rng.randint(2, 8)):
        if not data:
            break
        at = rng.randrange(len(data))
        length = min(rng.randint(4, 64), len(data) - at)
        data[at:at + length] = bytes(rng.randrange(256) for _ in range(length))
    at = rng.randrange(len(data) + 1)
    data[at:at] = bytes(rng.randrange(256) for _ in range(rng.randint(1024, 4096)))
    return bytes(data)


def run_measured(command):
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    start = time.monotonic()
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    seconds = time.monotonic() - start
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    if result.returncode != 0:
        sys.exit(f"{command[0]} failed: {result.stderr}")
    return seconds, max(peak, before), result.stdout


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--source", default="/usr/lib")
    parser.add_argument("--megabytes", type=int, default=300)
    parser.add_argument("--work", default="build/h6-bench")
    parser.add_argument("--seed", type=int, default=4)
    args = parser.parse_args()

    work = os.path.abspath(args.work)
    old, new = os.path.join(work, "old"), os.path.join(work, "new")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    rng = random.Random(args.seed)
    files, total = copy_tree(args.source, old, args.megabytes * 1000 * 1000, rng)
    shutil.copytree(old, new)

    changed = rng.sample(files, len(files) // 10)
    for relative in changed:
        path = os.path.join(new, relative)
        with open(path, "rb") as f:
            data = f.read()
        with open(path, "wb") as f:
            f.write(rebuild(data, rng))
    remaining = [f for f in files if f not in set(changed)]
    for relative in rng.sample(remaining, len(files) // 100):
        os.remove(os.path.join(new, relative))
    for index, relative in enumerate(rng.sample(files, len(files) // 100)):
        source = os.path.join(old, relative)
        target = os.path.join(new, "added", f"{index:04d}-{os.path.basename(relative)}")
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(source, "rb") as f:
            data = f.read()
        with open(target, "wb") as f:
            f.write(rebuild(data, rng))
    folders = sorted({os.path.dirname(f) for f in files if os.path.dirname(f)})
    if folders:
        shutil.rmtree(os.path.join(new, folders[len(folders) // 2]), ignore_errors=True)

    new_bytes = sum(os.path.getsize(os.path.join(r, n)) for r, _, ns in os.walk(new) for n in ns)
    new_files = sum(len(ns) for _, _, ns in os.walk(new))
    package = os.path.join(work, "tree.pkg")
    seconds, peak, output = run_measured(
        [args.tool, "build", "--old", old, "--new", new, "-o", package])
    archive = os.path.join(work, "new.zip")
    zip_seconds, _, _ = run_measured(["sh", "-c", f"cd {new} && zip -9 -r -q {archive} ."])

    print(f"old tree: {len(files)} files, {total / 1e6:.1f} MB from {args.source}")
    print(f"new tree: {new_files} files, {new_bytes / 1e6:.1f} MB "
          f"({len(changed)} changed, {len(files) // 100} deleted, {len(files) // 100} added, one folder dropped)")
    print(f"selfpatch-make build: {seconds:.1f} s wall, peak {peak / 1024:.0f} MiB; {output.strip()}")
    print(f"package {os.path.getsize(package) / 1e6:.2f} MB; zip -9 of the new tree "
          f"{os.path.getsize(archive) / 1e6:.2f} MB in {zip_seconds:.1f} s; "
          f"ratio {os.path.getsize(package) / os.path.getsize(archive):.3f}")


if __name__ == "__main__":
    main()
