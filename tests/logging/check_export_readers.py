#!/usr/bin/python3
"""The tidy table as other programs read it: pandas reads the exported CSV, and openpyxl and
LibreOffice read the exported workbook under an English and a German locale.

Usage: check_export_readers.py BRELLIS LOG WORKDIR
LOG is a log file of two runs: the first from 23:59:58 on 2026-12-07 over midnight with the totals
"000", "0.01", "0.02" and "", the second a decimal-comma run with the totals "13,25" and "13,35".
Exits 77 (skipped) when pandas, openpyxl or LibreOffice is missing.
"""
import datetime
import math
import os
import pathlib
import shutil
import subprocess
import sys

SKIP = 77
brellis, log, work = sys.argv[1], sys.argv[2], pathlib.Path(sys.argv[3])

try:
    import openpyxl
    import pandas
except ImportError as missing:
    print(f"skipped: {missing}")
    sys.exit(SKIP)
soffice = shutil.which("soffice")
if soffice is None:
    print("skipped: soffice not found")
    sys.exit(SKIP)

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print(f"FAILED: {what}")


shutil.rmtree(work, ignore_errors=True)
work.mkdir(parents=True)
csv_path, xlsx_path = work / "table.csv", work / "table.xlsx"
for out in (csv_path, xlsx_path):
    subprocess.run([brellis, "--export-log", log, str(out)], check=True)

# --- pandas, with no option but the time column -------------------------------------------------
print("== pandas.read_csv(table.csv, parse_dates=['time'])")
frame = pandas.read_csv(csv_path, parse_dates=["time"])
print(frame.dtypes.to_string())
print(frame.to_string())
check(str(frame["time"].dtype) == "datetime64[ns]", "time is a date-time column")
check(all(str(frame[c].dtype) in ("float64", "int64") for c in frame.columns if c != "time"),
      "every other column is numeric")
check(frame["time"][2] == pandas.Timestamp("2026-12-08 00:00:00"), "midnight rolls the date over")
check(math.isnan(frame["total_L"][0]) and math.isnan(frame["total_L"][3]),
      '"000" and "" totals are empty')
check(frame["total_L"][4] == 13.25, "a decimal-comma total reads as 13.25")
check(list(frame["run"]) == [1, 1, 1, 1, 2, 2], "rows carry their run")

# --- openpyxl, under each locale ----------------------------------------------------------------
OPENPYXL = """
import openpyxl, sys
book = openpyxl.load_workbook(sys.argv[1])
for sheet in book.worksheets:
    print('sheet', sheet.title)
    for row in sheet.iter_rows(values_only=True):
        print(' | '.join('' if v is None else f'{v!r}' for v in row))
"""
for lang in ("en_US.UTF-8", "de_DE.UTF-8"):
    print(f"== openpyxl, LANG={lang}")
    env = dict(os.environ, LANG=lang, LC_ALL=lang)
    shown = subprocess.run([sys.executable, "-c", OPENPYXL, str(xlsx_path)], env=env, check=True,
                           capture_output=True, text=True).stdout
    print(shown, end="")
    check("datetime.datetime(2026, 12, 8, 0, 0)" in shown, f"{lang}: a date-time cell")
    check("13.25" in shown and "'13" not in shown, f"{lang}: totals are numbers")
book = openpyxl.load_workbook(xlsx_path)
records, runs = book["records"], book["runs"]
check(records.cell(2, 2).value == datetime.datetime(2026, 12, 7, 23, 59, 58), "time cell")
check(records.cell(2, 3).value == 21.54, "therm1_C is the number 21.54")
check(records.cell(2, 12).value is None, 'a "000" total is an empty cell')
check(runs.max_row == 3 and runs.cell(3, 4).value == 2.5777,
      "two runs on the second sheet, the decimal-comma offset as a number")
check(runs.cell(2, 9).value == "A-7, spare", "serial numbers kept as text")

# --- LibreOffice: each locale's own profile, semicolons between fields, text quoted -------------
PROFILE = """<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry"
 xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale" oor:op="fuse">
<value>{0}</value></prop></item>
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooLocale" oor:op="fuse">
<value>{0}</value></prop></item>
</oor:items>
"""
expect = {"en-US": ("21.54", "13.25"), "de-DE": ("21,54", "13,25")}
for locale, (therm, total) in expect.items():
    profile = work / f"lo-profile-{locale}"
    (profile / "user").mkdir(parents=True)
    (profile / "user" / "registrymodifications.xcu").write_text(PROFILE.format(locale))
    outdir = work / f"lo-{locale}"
    env = dict(os.environ, LANG=locale.replace("-", "_") + ".UTF-8")
    subprocess.run([soffice, f"-env:UserInstallation=file://{profile}", "--headless",
                    "--convert-to", "csv:Text - txt - csv (StarCalc):59,34,76,1,,0,true,true",
                    "--outdir", str(outdir), str(xlsx_path)],
                   env=env, check=True, capture_output=True, timeout=180)
    shown = (outdir / "table.csv").read_text()
    print(f"== LibreOffice {locale}: table.xlsx as CSV (';' between fields, text quoted)")
    print(shown)
    rows = [line.split(";") for line in shown.splitlines()]
    check(rows[1][1] == "2026-12-07 23:59:58", f"{locale}: time is a date-time cell")
    check(rows[1][2] == therm, f"{locale}: therm1_C is the number {therm}")
    check(rows[1][11] == "" and rows[5][11] == total, f"{locale}: totals empty or {total}")

print(f"{len(failures)} failure(s)")
sys.exit(1 if failures else 0)
