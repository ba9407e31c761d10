#!/usr/bin/env python3
"""Lays out the example application's two versions in OUT: the text files of
examples/old and examples/new as they are, plus the binary files, which are
generated here (a program image that changes in a few places and grows, and
a plug-in data file) so that the repository holds only text.

usage: make_tree.py OUT
"""
import shutil
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent


def pseudo_random(count, seed):
    """`count` bytes of a 32-bit xorshift stream: the same bytes on every run."""
    state = seed
    out = bytearray(count)
    for i in range(count):
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        out[i] = state & 0xFF
    return out


def old_program():
    image = pseudo_random(12288, 0x2545F491)
    image[0:2] = b"MZ"
    return bytes(image)


def new_program():
    image = bytearray(old_program())
    # A relocated block: every 64th byte of a range shifts by a constant.
    for at in range(1024, 4096, 64):
        image[at] = (image[at] + 0x10) & 0xFF
    # A rewritten function and a patched string.
    image[6000:6200] = pseudo_random(200, 0x1234567)
    image[9000:9016] = b"Notepad Lite 1.1"
    # New code in the middle and a grown resource section at the end.
    image[8192:8192] = pseudo_random(500, 0x9E3779B9)
    image += pseudo_random(200, 0x7F4A7C15)
    return bytes(image)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = Path(sys.argv[1])
    for version in ("old", "new"):
        target = out / version
        if target.exists():
            shutil.rmtree(target)
        shutil.copytree(HERE / version, target)
    for name in ("product.ini", "install.ini"):
        shutil.copyfile(HERE / name, out / name)
    (out / "old/bin/notepad-lite.exe").write_bytes(old_program())
    (out / "new/bin/notepad-lite.exe").write_bytes(new_program())
    spell = out / "old/plugins/spell/spell.dat"
    spell.parent.mkdir(parents=True, exist_ok=True)
    spell.write_bytes(bytes(range(256)) * 4)


if __name__ == "__main__":
    main()
