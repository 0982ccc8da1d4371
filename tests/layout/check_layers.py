#!/usr/bin/env python3
"""Fails when a library includes a header of a library that stands above it or beside it.

The libraries are ranked from the floor up; a source file may include headers of its own folder
and of folders ranked strictly lower. Usage: check_layers.py SOURCE_ROOT
"""
import pathlib
import re
import sys

# From the floor up. Folders on one rank may not include each other.
RANKS = [
    ["state"],
    ["common"],
    ["instrument"],
    ["sim", "channels", "widgets"],
    ["acquisition"],
    ["calibration", "logging", "alarms"],
    ["plot"],
    ["history", "publish"],
    ["console"],
    ["app"],
]
RANK = {folder: i for i, names in enumerate(RANKS) for folder in names}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.M)


def main(root: pathlib.Path) -> int:
    wrong = []
    for folder, rank in RANK.items():
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for target in INCLUDE.findall(path.read_text(errors="replace")):
                if target == folder or target not in RANK:
                    continue
                if RANK[target] >= rank:
                    wrong.append(f"{path.relative_to(root)} includes {target}/")
    for line in wrong:
        print(line)
    print(f"{len(wrong)} include(s) running upwards or sideways")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])))
