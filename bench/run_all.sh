#!/bin/sh
# Runs every benchmark and prints one Markdown table on standard output: each
# figure beside its baseline, both measured in the same run, and their ratio.
# The table is kept in BUILD/bench.md, the programs' full output in
# BUILD/bench.log; progress goes to standard error.
# Usage: bench/run_all.sh [BUILD]      (BUILD is the build folder, "build")
set -u
build=${1:-build}
bin=$build/bench
log=$build/bench.log
xvfb=$(dirname "$0")/../tests/gui/on_xvfb.sh # an X server with a window manager
results=$(mktemp) || exit 1
out=$(mktemp) || exit 1
trap 'rm -f "$results" "$out"' EXIT
: >"$log"
failed=0
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

# One benchmark program: its RESULT lines are kept for the table.
run() {
    echo "running $*" >&2
    echo "\$ $*" >>"$log"
    "$@" >"$out" 2>&1
    status=$?
    cat "$out" >>"$log"
    grep '^RESULT' "$out" >>"$results"
    if [ "$status" -ne 0 ]; then
        echo "FAILED (exit $status): $*" >&2
        failed=1
    fi
}

for n in 1000 10000 100000; do # a process each: the first refresh and the peak are its own
    run env QT_QPA_PLATFORM=offscreen "$bin/bench_refresh" "$n"
done
run "$xvfb" --wm "$bin/bench_window" 100000
run "$xvfb" --wm "$bin/bench_differences" 100000
run "$xvfb" --wm "$bin/bench_window_check" 100000
run "$xvfb" --wm "$bin/bench_flatten" 100000
run "$bin/bench_compare" "$build/src/duoscope" 100000
run "$bin/bench_trees" "$build/src/duoscope" 100000
run "$(dirname "$0")/bench_sshfs.sh" "$build" 10000
for n in 10000 100000; do
    run "$bin/bench_remote" "$build/src/duoscope" "$n"
done
run "$xvfb" --wm "$bin/bench_remote_window" 20000
run "$xvfb" --wm "$bin/bench_idle" 3000 10
run "$xvfb" --wm "$bin/bench_startup" "$build/src/duoscope" "$bin/bare_window" 15
run env QT_QPA_PLATFORM=offscreen "$bin/bench_fileops" 1000 100000
run "$bin/bench_pairing" 30000
run "$bin/bench_contents" 1000 64
run "$bin/bench_verdicts" "$build/src/duoscope" 10000 64
run "$bin/bench_verdicts" "$build/src/duoscope" 100000
run "$bin/bench_verdicts" "$build/src/duoscope" memory 1000000
run "$(dirname "$0")/bench_npm_verdicts.sh" "$build"
run "$bin/bench_sync" "$build/src/duoscope" 100000
run env QT_QPA_PLATFORM=offscreen "$bin/bench_diff" 100000 1000
run env QT_QPA_PLATFORM=offscreen "$bin/bench_trash" 10000 1000

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
ram=$(awk '/^MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)
qt=$(pkg-config --modversion Qt6Core 2>/dev/null || echo unknown)
compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
{
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'): $cpu, $(nproc) cores, $ram RAM," \
        "Debian $(cat /etc/debian_version), Qt $qt, $("${compiler:-c++}" --version | head -n 1);" \
        "load average $load_start at the start, $(cut -d' ' -f1-3 /proc/loadavg) at the end."
    echo
    awk -F '\t' '
        function figure(v, unit) {
            return sprintf(v < 1 ? "%.3f %s" : v < 10 ? "%.2f %s" : "%.1f %s", v, unit)
        }
        BEGIN {
            print "| Measure | Figure | Baseline (same run) | Ratio |"
            print "|---|---:|---|---:|"
        }
        { printf "| %s | %s | %s: %s | %s |\n", $2, figure($3, $5), $7, figure($4, $5), $6 }
    ' "$results"
} | tee "$build/bench.md"
exit "$failed"
