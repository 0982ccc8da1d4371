#!/usr/bin/env python3
"""Fails when a library includes a header of a library that stands above it or beside it, or
when a library below the main window names one of the main window's controls.

The libraries are ranked from the floor up; a source file may include headers of its own folder
and of folders ranked strictly lower. The main window's controls are the ones console/ names
and the displays and gauges of the catalogue of quantities in state/, which is the one
description of them allowed below console/; dialogs' own controls are theirs.
Usage: check_layers.py SOURCE_ROOT
"""
import pathlib
import re
import sys

from cxx_scan import split_code

# From the floor up. Folders on one rank may not include each other.
RANKS = [
    ["state"],
    ["common"],
    ["instrument"],
    ["sim", "channels", "widgets"],
    ["acquisition"],
    ["calibration", "logging", "alarms", "mqtt", "runs"],
    ["plot"],
    ["history", "publish"],
    ["stations"],
    ["console"],
    ["app"],
]
RANK = {folder: i for i, names in enumerate(RANKS) for folder in names}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.M)
CONTROL = re.compile(r"(lbl|cwb|CW|txt|cmb)[A-Za-z0-9_]*")
# Where the main window's control names may be written.
WINDOW_FOLDERS = {"console", "app"}
CATALOGUE = pathlib.Path("state/quantities.h")


def sources(root: pathlib.Path, folder: str):
    for path in sorted((root / folder).rglob("*")):
        if path.suffix in (".h", ".cpp"):
            yield path


def control_names(root: pathlib.Path, paths) -> set:
    names = set()
    for path in paths:
        _, literals = split_code(path.read_text(errors="replace"))
        names.update(text for _, text in literals if CONTROL.fullmatch(text))
    return names


def main(root: pathlib.Path) -> int:
    window = [p for folder in WINDOW_FOLDERS for p in sources(root, folder)]
    names = control_names(root, window + [root / CATALOGUE])
    wrong = []
    for folder, rank in RANK.items():
        for path in sources(root, folder):
            text = path.read_text(errors="replace")
            for target in INCLUDE.findall(text):
                if target == folder or target not in RANK:
                    continue
                if RANK[target] >= rank:
                    wrong.append(f"{path.relative_to(root)} includes {target}/")
            if folder in WINDOW_FOLDERS or path.relative_to(root) == CATALOGUE:
                continue
            for line, literal in split_code(text)[1]:
                if literal in names:
                    wrong.append(f"{path.relative_to(root)}:{line} names the main window's "
                                 f'control "{literal}"')
    for line in wrong:
        print(line)
    print(f"{len(wrong)} include(s) running upwards or sideways or control name(s) below the "
          "main window")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])))
