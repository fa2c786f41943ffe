#!/bin/sh
# Runs every benchmark program (bench_*) of a build directory and prints what each measured.
# Usage: tests/bench/run-benchmarks.sh BUILD_DIR
# Exit status: the number of programs that failed (0 when all ran).
set -u
build=${1:?usage: $0 BUILD_DIR}
if [ ! -d "$build" ]; then
    echo "$0: no build directory $build" >&2
    exit 2
fi
programs=$(find "$build" -type f -name 'bench_*' -perm -u+x 2>/dev/null | sort)
if [ -z "$programs" ]; then
    echo "No benchmark programs in $build (configure with -DHLX_BUILD_BENCHMARKS=ON and build)." >&2
    exit 2
fi
failed=0
for program in $programs; do
    echo "=== $(basename "$program")"
    if ! "$program"; then
        echo "*** $(basename "$program") failed" >&2
        failed=$((failed + 1))
    fi
    echo
done
exit $failed
