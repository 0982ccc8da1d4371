#!/usr/bin/env bash
# Runs every benchmark program once, one after another, in one session, and leaves each one's
# console table and JSON in OUT_DIR. Takes about four minutes (two of them the polling load).
#   bench/run_all.sh [BUILD_DIR] [OUT_DIR]
# The build needs the benchmark targets: cmake --build BUILD_DIR --target exchange_bench
# bench_serial read_tick_bench polling_load_bench plot_bench log_record_bench startup_bench
# hour_memory_bench
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-bench-results}" && cd "${2:-bench-results}" && pwd)
bin="$build/bin"
export QT_QPA_PLATFORM=offscreen
export XDG_CONFIG_HOME="$(mktemp -d)" # the programs never see the user's calibration
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT

{ date -u; uptime; echo "cores: $(nproc)"; lscpu | grep 'Model name' || true; } >"$out/machine.txt"
run() { # NAME [ARGS...]: console table to NAME.txt, JSON to NAME.json, stderr to NAME.err
  local name=$1
  shift
  echo "== $name"
  "$bin/$name" --benchmark_out="$out/$name.json" --benchmark_out_format=json "$@" \
    >"$out/$name.txt" 2>"$out/$name.err"
}
run bench_serial
run exchange_bench
run read_tick_bench
run polling_load_bench
run plot_bench
run log_record_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
run log_reader_bench --benchmark_report_aggregates_only=true
run log_chart_bench --benchmark_report_aggregates_only=true
run publish_bench --benchmark_report_aggregates_only=true
for i in 1 2 3 4 5; do # each a fresh process: the cold start
  "$bin/startup_bench" --benchmark_filter=StartToWindowShown 2>/dev/null | grep '^BM_'
done >"$out/startup_cold.txt"
run startup_bench --benchmark_filter=WindowShownAgain
run hour_memory_bench
{ date -u; uptime; } >>"$out/machine.txt"
echo "results in $out"
