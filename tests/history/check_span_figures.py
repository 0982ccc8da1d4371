#!/usr/bin/python3
"""The log window's figures over a span, computed again from the log file with Python's own
statistics module and compared to the decimals the table shows.

Usage: check_span_figures.py LOG TSV FROM TO
TSV is the window's table as "Copy" gives it, in the C locale, for the series pH1, pH2, Therm1 and
Flow (L/min) with the corrections and offsets added; FROM and TO are local ISO date-times.
"""
import csv
import datetime
import statistics
import sys

log, tsv, start, end = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
start = datetime.datetime.fromisoformat(start)
end = datetime.datetime.fromisoformat(end)

# name: (places, value of a record's 16 items)
SERIES = {
    "pH1": (4, lambda r: float(r[6]) + float(r[14])),
    "pH2": (4, lambda r: float(r[7]) + float(r[15])),
    "Therm1": (2, lambda r: float(r[1]) + float(r[11])),
    "Flow (L/min)": (2, lambda r: float(r[9])),
}

records = []  # (datetime, items)
day, previous = None, None
with open(log, newline="", encoding="latin-1") as f:
    for line in f:
        line = line.rstrip("\r\n")
        if line.startswith('"Date: ",#'):
            day = datetime.date.fromisoformat(line[10:20])
            previous = None
            continue
        items = next(csv.reader([line]))
        if len(items) != 16 or day is None:
            continue
        t = datetime.time.fromisoformat(items[0])
        if previous is not None and t < previous:
            day += datetime.timedelta(days=1)  # a run over midnight
        previous = t
        records.append((datetime.datetime.combine(day, t), items))

chosen = [(when, items) for when, items in records if start <= when <= end]
assert chosen, "the span holds no record"


def shown(value, places):
    text = f"{value:.{places}f}"
    return text[1:] if text.startswith("-") and float(text) == 0 else text


rows = {}
with open(tsv, encoding="utf-8") as f:
    titles = f.readline().rstrip("\n").split("\t")
    for line in f:
        cells = line.rstrip("\n").split("\t")
        rows[cells[0]] = dict(zip(titles, cells))

failures = []
for name, (places, value) in SERIES.items():
    xs = [(when - chosen[0][0]).total_seconds() / 3600 for when, _ in chosen]
    ys = [value(items) for _, items in chosen]
    more = places + 2
    expected = {
        "Records": str(len(ys)),
        "Minimum": shown(min(ys), places),
        "Maximum": shown(max(ys), places),
        "Mean": shown(statistics.mean(ys), more),
        "Std. dev.": shown(statistics.stdev(ys), more),
        "Slope (/h)": shown(statistics.linear_regression(xs, ys).slope, more),
        "First": shown(ys[0], places),
        "Last": shown(ys[-1], places),
        "Δ time (s)": str(int((chosen[-1][0] - chosen[0][0]).total_seconds())),
        "Δ value": shown(ys[-1] - ys[0], places),
    }
    row = rows.get(name)
    if row is None:
        failures.append(f"{name}: no row")
        continue
    for title, text in expected.items():
        if row.get(title) != text:
            failures.append(f"{name} {title}: table {row.get(title)!r}, Python {text!r}")

print("\n".join(failures) or f"{len(chosen)} records: every figure agrees")
sys.exit(1 if failures else 0)
