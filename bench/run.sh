#!/usr/bin/env bash
# Runs every benchmark of bench/ against the build directory given as $1.  The Data file benchmark reads
# and writes a generated board of about 500 000 Items, made in the build directory; the zoom benchmark
# times the zoom key on the same board.
set -euo pipefail
BUILD=${1:-build}
BOARD="$BUILD/bench_board.pcb"
if [ -x "$BUILD/gen_board" ]; then
    "$BUILD/gen_board" 18600 "$BOARD" --seed 1
fi
for b in "$BUILD"/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    case "$(basename "$b")" in
    bench_datafile) "$b" "$BOARD" ;;
    bench_zoom | bench_library) "$b" --board "$BOARD" ;;
    bench_dxf) "$b" --scale "$BOARD" ;;
    bench_image_redraw) "$b" --size 4000 ;;
    *) "$b" ;;
    esac
done
