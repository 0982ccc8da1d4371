#!/usr/bin/env python3
"""Plants main-window control names in copies of product folders and expects check_layers.py to
refuse each one, and to let a dialog keep a plain design name it gives to a control of its own.
Usage: check_layers_test.py SOURCE_ROOT
"""
import contextlib
import io
import pathlib
import shutil
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import check_layers  # noqa: E402

# (folder, file, planted line, refused?)
CASES = [
    ("state", "planted.h", 'inline const char *name = "pHOffS1";', True),
    ("state", "planted.h", 'inline const char *name = "liters";', True),
    ("publish", "planted.cpp", 'const char *name = "Command1";', True),
    ("publish", "planted.cpp", 'const char *name = "tmrRd";', True),
    ("alarms", "planted.cpp", 'const char *name = "mnuStop";', True),
    ("calibration", "planted.cpp", 'void f(QWidget *w) { w->setObjectName(QStringLiteral("Command1")); }',
     False),
    ("calibration", "planted.cpp", 'const char *name = "chkpH1";', True),
]


def check(root: pathlib.Path) -> tuple[int, str]:
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        status = check_layers.main(root)
    return status, out.getvalue()


def main(source: pathlib.Path) -> int:
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        copy = pathlib.Path(tmp) / "tree"
        for folder in check_layers.RANK:
            if (source / folder).is_dir():
                shutil.copytree(source / folder, copy / folder,
                                ignore=shutil.ignore_patterns("*.txt", "*.gif", "*.bmp", "*.png"))
        status, text = check(copy)
        if status != 0:
            print("the copy itself is refused:\n" + text)
            return 1
        for folder, name, line, refused in CASES:
            planted = copy / folder / name
            planted.write_text(line + "\n")
            status, text = check(copy)
            planted.unlink()
            if (status != 0) != refused or (refused and f"{folder}/{name}" not in text):
                failures += 1
                print(f"{folder}/{name}: {line!r} was {'passed' if status == 0 else 'refused'}")
    print(f"{len(CASES) - failures} of {len(CASES)} planted names judged right")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])))
