#!/bin/sh
# The report by contents on four real release pairs of npm packages (each
# version's tarball unpacked into a folder of its own): its changed paths
# must be those `diff -rq` names, path by path, and its time is measured
# against `diff -rq`'s, taking turns, medians of five.
# Prints why when npm or the registry cannot be reached.
# Usage: bench/bench_npm_verdicts.sh BUILD [EARLIER_PROGRAM]
set -u
build=${1:-build}
program=$build/src/duoscope
earlier=${2:-}
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
command -v npm >/dev/null || { echo "npm pairs skipped: no npm"; exit 0; }
command -v python3 >/dev/null || { echo "npm pairs skipped: no python3"; exit 0; }
export XDG_CACHE_HOME="$dir/cache"
failed=0

# The changed paths of both tools, one a line, in one form: a path only on
# one side is named alone (not what lies below it), a folder on both sides
# is not named.
ours() {
    "$1" --compare "$2" "$3" -r -c --changed --json | python3 -c '
import json, sys
lone = []
for row in json.load(sys.stdin):
    path = row["path"].rstrip("/")
    both = row["source"] is not None and row["destination"] is not None
    folder = (row["source"] or row["destination"]).get("folder", False)
    if both and folder:
        continue
    if any(path.startswith(l + "/") for l in lone):
        continue
    if not both:
        lone.append(path)
    print(path)' | LC_ALL=C sort
}
theirs() {
    diff -rq "$1" "$2" | python3 -c '
import sys
a, b = sys.argv[1], sys.argv[2]
for line in sys.stdin:
    line = line.rstrip("\n")
    if line.startswith("Files "):
        print(line[len("Files ") + len(a) + 1:line.index(" and " + b)])
    elif line.startswith("Only in "):
        where, name = line[len("Only in "):].split(": ", 1)
        top = a if where == a or where.startswith(a + "/") else b
        print((where[len(top) + 1:] + "/" if where != top else "") + name)' "$1" "$2" |
        LC_ALL=C sort
}
# Milliseconds a command takes, its output thrown away.
ms() {
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    echo $((($(date +%s%N) - start) / 1000000))
}
median() { tr ' ' '\n' | sed '/^$/d' | sort -n | sed -n 3p; }

for pair in "core-js 3.35.0 3.36.0" "lodash 4.17.20 4.17.21" "rxjs 7.8.0 7.8.1" \
    "prettier 3.1.0 3.1.1"; do
    set -- $pair
    name=$1
    for version in "$2" "$3"; do
        mkdir -p "$dir/$name-$version"
        (cd "$dir" && npm pack --silent "$name@$version" >/dev/null 2>&1) ||
            { echo "npm pairs skipped: npm pack $name@$version failed"; exit 0; }
        tar -xzf "$dir/$name-$version.tgz" -C "$dir/$name-$version"
    done
    a=$dir/$name-$2/package
    b=$dir/$name-$3/package
    ours "$program" "$a" "$b" >"$dir/ours"
    theirs "$a" "$b" >"$dir/theirs"
    if cmp -s "$dir/ours" "$dir/theirs"; then
        echo "$name $2 → $3: the same $(wc -l <"$dir/ours") changed paths as diff -rq"
    else
        echo "$name $2 → $3: changed paths other than diff -rq's:"
        diff "$dir/theirs" "$dir/ours"
        failed=1
    fi
    files=$(find "$a" "$b" -type f | wc -l)
    report="" diffs="" before=""
    for i in 1 2 3 4 5; do
        rm -rf "$XDG_CACHE_HOME"
        report="$report $(ms "$program" --compare "$a" "$b" -r -c --json)"
        diffs="$diffs $(ms diff -rq "$a" "$b")"
        if [ -n "$earlier" ]; then
            rm -rf "$XDG_CACHE_HOME"
            before="$before $(ms "$earlier" --compare "$a" "$b" -r -c --json)"
        fi
    done
    r=$(echo "$report" | median)
    d=$(echo "$diffs" | median)
    printf 'RESULT\tReport `--compare -r -c --json`, %s %s → %s (%s files)\t%s\t%s\tms\t%s\t`diff -rq` of the same folders\n' \
        "$name" "$2" "$3" "$files" "$r" "$d" "$(echo "scale=3; $r / $d" | bc)"
    if [ -n "$earlier" ]; then
        e=$(echo "$before" | median)
        printf 'RESULT\tReport `--compare -r -c --json` (earlier build), %s %s → %s (%s files)\t%s\t%s\tms\t%s\t`diff -rq` of the same folders\n' \
            "$name" "$2" "$3" "$files" "$e" "$d" "$(echo "scale=3; $e / $d" | bc)"
    fi
done
exit $failed
