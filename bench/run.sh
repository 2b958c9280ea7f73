#!/usr/bin/env bash
# Runs every benchmark of bench/ against the build directory given as $1.
set -euo pipefail
BUILD=${1:-build}
for b in "$BUILD"/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b"
done
