#!/usr/bin/env python3
"""Fails when a library includes a header of a library that stands above it or beside it, or
when a library below the main window names one of the main window's controls.

The libraries are ranked from the floor up; a source file may include headers of its own folder
and of folders ranked strictly lower. The main window's controls are the ones console/ and app/ name: no
folder below them may name one, state/ included; a dialog's own control that shares a plain design
name with one of the window's ("Command1") is the dialog's where it names it with setObjectName.
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
# The kinds of control name the window uses: the prefixes of its kinds of control and the plain
# design names; "liters" is the one display named without either.
CONTROL = re.compile(
    r"(lbl|cwb|CW|txt|cmb|opt|chk|cmd|mnu|tmr|pic|Pic|Picture|Panel|Command|Option|Frame|Label"
    r"|Line|pHOffS|numOffset)[A-Za-z0-9_]*|liters")
# Where the main window's control names may be written.
WINDOW_FOLDERS = {"console", "app"}
# Folders with windows of their own, whose controls may share a plain design name with one of the
# main window's ("Command1"): such a name is theirs where they give it to a control of their own.
OWN_WINDOWS = {"widgets", "calibration", "logging", "alarms", "plot", "history", "stations"}
OWN_NAME = re.compile(r'setObjectName\((?:QStringLiteral|QLatin1String)?\(?"([A-Za-z0-9_]+)"')


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
    names = control_names(root, window)
    wrong = []
    for folder, rank in RANK.items():
        for path in sources(root, folder):
            text = path.read_text(errors="replace")
            for target in INCLUDE.findall(text):
                if target == folder or target not in RANK:
                    continue
                if RANK[target] >= rank:
                    wrong.append(f"{path.relative_to(root)} includes {target}/")
            if folder in WINDOW_FOLDERS:
                continue
            own = set(OWN_NAME.findall(text)) if folder in OWN_WINDOWS else set()
            for line, literal in split_code(text)[1]:
                if literal in names and literal not in own:
                    wrong.append(f"{path.relative_to(root)}:{line} names the main window's "
                                 f'control "{literal}"')
    for line in wrong:
        print(line)
    print(f"{len(wrong)} include(s) running upwards or sideways or control name(s) below the "
          "main window")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])))
