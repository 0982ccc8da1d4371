#!/usr/bin/python3
"""The run report as pdftotext reads it: made without a display from a two-run log with a note
beside it, it names the file and its SHA-256, the run's start, its calibration, the statistics
(checked against Python's statistics module), the note and a page number; a report that cannot
be written says why, exits 1 and leaves no file.

Usage: check_report.py BRELLIS LOG WORKDIR
Exits 77 (skipped) when pdftotext is missing.
"""
import hashlib
import os
import pathlib
import shutil
import statistics
import subprocess
import sys

brellis, source, work = sys.argv[1], sys.argv[2], pathlib.Path(sys.argv[3])
if shutil.which("pdftotext") is None:
    print("skipped: pdftotext not found (poppler-utils)")
    sys.exit(77)
shutil.rmtree(work, ignore_errors=True)
work.mkdir(parents=True)
log = work / "two_runs.log"
shutil.copy(source, log)
(work / "two_runs.log.events.csv").write_text(
    "time,event,detail,user\n2026-12-07T23:59:59Z,note,\"buffer added, \"\"pH 7\"\"\",lab\n")
env = dict(os.environ, TZ="UTC", QT_QPA_PLATFORM="xcb", DISPLAY="", WAYLAND_DISPLAY="",
           HOME=str(work), XDG_STATE_HOME=str(work), XDG_DATA_HOME=str(work),
           XDG_CONFIG_HOME=str(work))
failures = []


def report(*arguments):
    return subprocess.run([brellis, "--report", str(log), *arguments], env=env,
                          capture_output=True, text=True, timeout=120)


def expect(condition, what):
    if not condition:
        failures.append(what)


out = work / "run1.pdf"
done = report(str(out), "--run", "1")
expect(done.returncode == 0, f"run 1: status {done.returncode}: {done.stderr}")
text = subprocess.run(["pdftotext", "-layout", str(out), "-"], capture_output=True,
                      text=True).stdout
sha = hashlib.sha256(log.read_bytes()).hexdigest()
pH1 = [7.0012 + 0.05, 7.0013 + 0.05, 7.0014 + 0.05, 7.0015 + 0.05]
therm1 = [21.54, 21.55, 21.56, 21.57]
for wanted in ["File: two_runs.log", f"SHA-256: {sha}", "Run 1 of 2",
               "Start: 2026-12-07 23:59:58", "End: 2026-12-08 00:00:01", "Length: 0:00:03",
               "Probe 1 Offset: 2.5777", "Probe 2 Serial Number: A-7, spare",
               "There is no calibration history at",
               "2026-12-07 23:59:59 note: buffer added, \"pH 7\", by lab", "Page 1 of 2",
               "Page 2 of 2"]:
    expect(wanted in " ".join(text.split()), f"not in the report: {wanted!r}")
rows = {}  # the statistics table's rows: twelve cells, the series first
for line in text.splitlines():
    cells = line.split()
    if len(cells) == 12:
        rows.setdefault(cells[0], cells)
for name, values, places in [("pH1", pH1, 4), ("Therm1", therm1, 2)]:
    row = rows.get(name, [])
    wanted = [name, str(len(values)), f"{min(values):.{places}f}", f"{max(values):.{places}f}",
              f"{statistics.mean(values):.{places + 2}f}",
              f"{statistics.stdev(values):.{places + 2}f}"]
    # Series, Unit, Records, Minimum, Maximum, Mean, Std. dev.
    expect(row[:1] + row[2:7] == wanted, f"{name}: report {row}, Python {wanted}")

second = report(str(work / "run2.pdf"), "--from", "2026-12-09T08:15:01")
expect(second.returncode == 0, f"--from: status {second.returncode}: {second.stderr}")
text2 = subprocess.run(["pdftotext", str(work / "run2.pdf"), "-"], capture_output=True,
                       text=True).stdout
expect("Run 2 of 2" in text2 and "Start: 2026-12-09 08:15:01" in text2, "--from: not run 2")

for arguments, status, message, path in [
        ([str(work / "missing" / "r.pdf")], 1, "Cannot write", work / "missing" / "r.pdf"),
        ([str(work / "r.txt")], 2, "--report writes a .pdf", work / "r.txt"),
        ([str(work / "r3.pdf"), "--run", "3"], 1, "has no run 3 (it holds 2)", work / "r3.pdf"),
        ([str(work / "r0.pdf"), "--run", "0"], 2, "--run expects a run number", work / "r0.pdf")]:
    result = report(*arguments)
    expect(result.returncode == status and message in result.stderr,
           f"{arguments}: status {result.returncode}, {result.stderr!r}")
    expect(not path.exists(), f"{arguments}: {path} left behind")

print("\n".join(failures) or "the report holds what it must")
sys.exit(1 if failures else 0)
