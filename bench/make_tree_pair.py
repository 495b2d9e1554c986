#!/usr/bin/env python3
"""Build a deterministic pair of folder trees for comparison benchmarks.

OUT/left is a generated tree; OUT/right is a copy of it with a known set of
differences:

  same-size   last byte flipped, size unchanged, mtime +60 s
  size        one byte appended, mtime +60 s
  left-only   not copied to the right
  right-only  extra files that exist only on the right
  case        copied unchanged, but the right name is upper-cased

Each kind affects --change-share of the files (default 1 %).  Unchanged
copies keep the left file's mtime to the nanosecond.  All folders on both
sides get the same fixed mtime, so only files differ.

The same arguments always give byte-identical trees with identical times.
"""

import argparse
import math
import os
import shutil
import sys
import time

from random import Random

BASE_TIME_S = 1_700_000_000          # fixed "now" for all timestamps
MAX_AGE_S = 3 * 365 * 24 * 3600      # left files are up to ~3 years old
CHANGE_DELAY_NS = 60 * 1_000_000_000  # changed files are 60 s newer
DIR_TIME_NS = BASE_TIME_S * 1_000_000_000
MIB = 1024 * 1024

EXTENSIONS = [".txt", ".dat", ".bin", ".log", ".csv", ".json", ".png", ".cpp"]


def parse_range(text):
    """'1-4' -> (1.0, 4.0), sizes in MiB."""
    try:
        lo, hi = (float(x) for x in text.split("-", 1))
    except ValueError:
        raise argparse.ArgumentTypeError(f"expected MIN-MAX, got {text!r}")
    if lo <= 0 or hi < lo:
        raise argparse.ArgumentTypeError(f"bad range {text!r}")
    return lo, hi


def parse_args():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("out", help="folder that receives left/ and right/")
    p.add_argument("--files", type=int, default=100_000,
                   help="number of files in the left tree (default 100000)")
    p.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    p.add_argument("--large-share", type=float, default=0.01,
                   help="fraction of large files (default 0.01)")
    p.add_argument("--large-mib", type=parse_range, default=(1.0, 4.0),
                   metavar="MIN-MAX",
                   help="size range of large files in MiB (default 1-4)")
    p.add_argument("--small-kib", type=int, default=16,
                   help="small files are 0..N KiB (default 16)")
    p.add_argument("--tiny", action="store_true",
                   help="all files 0-200 bytes, no large files")
    p.add_argument("--change-share", type=float, default=0.01,
                   help="fraction of files per kind of change (default 0.01)")
    p.add_argument("--force", action="store_true",
                   help="delete an existing OUT/left and OUT/right first")
    args = p.parse_args()
    if args.files < 1:
        p.error("--files must be at least 1")
    if not 0 <= args.large_share <= 1 or not 0 <= args.change_share <= 0.2:
        p.error("--large-share must be in [0,1], --change-share in [0,0.2]")
    return args


def plan_folders(rng, n_files):
    """Return a list of (relative folder path, file count).

    Files live in folders 3 to 5 levels deep, 20 to 100 per folder.  The
    fan-out per level grows with the file count so that the tree stays
    bushy rather than deep.
    """
    fanout = max(3, math.ceil((n_files / 60) ** 0.25) + 1)
    used = set()
    folders = []
    remaining = n_files
    while remaining > 0:
        depth = rng.randint(3, 5)
        names = tuple(f"dir{rng.randrange(fanout):02d}" for _ in range(depth))
        if names in used:
            continue
        used.add(names)
        count = min(rng.randint(20, 100), remaining)
        folders.append((os.path.join(*names), count))
        remaining -= count
    return folders


class FilePlan:
    __slots__ = ("rel", "size", "offset", "mtime_ns")

    def __init__(self, rel, size, offset, mtime_ns):
        self.rel = rel
        self.size = size
        self.offset = offset
        self.mtime_ns = mtime_ns


class Sizer:
    """Draws file sizes and content offsets into the shared pattern."""

    def __init__(self, rng, args):
        self.rng = rng
        self.tiny = args.tiny
        self.small_max = args.small_kib * 1024
        self.large_share = 0.0 if args.tiny else args.large_share
        self.large_lo = int(args.large_mib[0] * MIB)
        self.large_hi = int(args.large_mib[1] * MIB)
        biggest = 200 if self.tiny else max(self.small_max, self.large_hi)
        # Content is a window into one random pattern; the slack gives
        # each file its own starting offset.
        self.slack = 1 * MIB
        self.pattern_len = biggest + 1 + self.slack

    def draw(self):
        rng = self.rng
        if self.tiny:
            size = rng.randint(0, 200)
        elif rng.random() < self.large_share:
            size = rng.randint(self.large_lo, self.large_hi)
        else:
            size = rng.randint(0, self.small_max)
        return size, rng.randrange(self.slack)

    def mtime_ns(self):
        rng = self.rng
        return ((BASE_TIME_S - rng.randrange(MAX_AGE_S)) * 1_000_000_000
                + rng.randrange(1_000_000_000))


def write_file(path, data, mtime_ns):
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    try:
        view = memoryview(data)
        while view:
            view = view[os.write(fd, view):]
    finally:
        os.close(fd)
    os.utime(path, ns=(mtime_ns, mtime_ns))


def make_dirs(root, folders):
    for rel, _ in folders:
        os.makedirs(os.path.join(root, rel), exist_ok=True)


def fix_dir_times(root):
    for dirpath, _, _ in os.walk(root, topdown=False):
        os.utime(dirpath, ns=(DIR_TIME_NS, DIR_TIME_NS))


def main():
    args = parse_args()
    started = time.monotonic()
    rng = Random(args.seed)

    # Plan everything first, from one random stream, so the result depends
    # only on the arguments.
    folders = plan_folders(rng, args.files)
    sizer = Sizer(rng, args)
    files = []
    serial = 0
    for rel_dir, count in folders:
        for _ in range(count):
            name = f"file{serial:06d}{EXTENSIONS[rng.randrange(len(EXTENSIONS))]}"
            serial += 1
            size, offset = sizer.draw()
            files.append(FilePlan(os.path.join(rel_dir, name), size, offset,
                                  sizer.mtime_ns()))

    per_kind = round(args.files * args.change_share)
    # Same-size changes need at least one byte to flip.
    nonempty = [i for i, f in enumerate(files) if f.size > 0]
    same_size = set(rng.sample(nonempty, min(per_kind, len(nonempty))))
    rest = [i for i in range(len(files)) if i not in same_size]
    picked = rng.sample(rest, min(3 * per_kind, len(rest)))
    size_change = set(picked[:per_kind])
    left_only = set(picked[per_kind:2 * per_kind])
    case_change = set(picked[2 * per_kind:])

    extras = []
    for k in range(per_kind):
        rel_dir = folders[rng.randrange(len(folders))][0]
        size, offset = sizer.draw()
        extras.append(FilePlan(os.path.join(rel_dir, f"extra{k:06d}.dat"),
                               size, offset, sizer.mtime_ns()))

    pattern = Random(args.seed ^ 0x5EED).randbytes(sizer.pattern_len)
    view = memoryview(pattern)

    left = os.path.join(args.out, "left")
    right = os.path.join(args.out, "right")
    for side in (left, right):
        if os.path.lexists(side):
            if not args.force:
                sys.exit(f"{side} already exists (use --force to replace it)")
            shutil.rmtree(side)
    make_dirs(left, folders)
    make_dirs(right, folders)

    left_bytes = right_bytes = 0
    for i, f in enumerate(files):
        data = view[f.offset:f.offset + f.size]
        write_file(os.path.join(left, f.rel), data, f.mtime_ns)
        left_bytes += f.size
        if i in left_only:
            continue
        if i in same_size:
            changed = bytearray(data)
            changed[-1] ^= 0xFF
            write_file(os.path.join(right, f.rel), changed,
                       f.mtime_ns + CHANGE_DELAY_NS)
            right_bytes += f.size
        elif i in size_change:
            grown = view[f.offset:f.offset + f.size + 1]
            write_file(os.path.join(right, f.rel), grown,
                       f.mtime_ns + CHANGE_DELAY_NS)
            right_bytes += f.size + 1
        elif i in case_change:
            head, tail = os.path.split(f.rel)
            write_file(os.path.join(right, head, tail.upper()), data, f.mtime_ns)
            right_bytes += f.size
        else:
            write_file(os.path.join(right, f.rel), data, f.mtime_ns)
            right_bytes += f.size
    for f in extras:
        write_file(os.path.join(right, f.rel),
                   view[f.offset:f.offset + f.size], f.mtime_ns)
        right_bytes += f.size

    fix_dir_times(left)
    fix_dir_times(right)

    print(f"left {len(files)} files {left_bytes} bytes, "
          f"right {len(files) - len(left_only) + len(extras)} files "
          f"{right_bytes} bytes, {len(folders)} folders; changes: "
          f"same-size {len(same_size)}, size {len(size_change)}, "
          f"left-only {len(left_only)}, right-only {len(extras)}, "
          f"case {len(case_change)} ({time.monotonic() - started:.1f} s)")


if __name__ == "__main__":
    main()
