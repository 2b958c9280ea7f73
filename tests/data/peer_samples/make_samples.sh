#!/bin/bash
# Remakes the photoplots and drill files of other CAM tools kept in this directory, which the interop
# tests read.  Not run by the tests: the outputs are kept as they are, since KiCad is no build
# dependency.  Needs pcb-rnd and gerbv (make deps), KiCad 6's Python module (make deps-kicad) and a
# built gen_board.
#   tests/data/peer_samples/make_samples.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../../build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# pcb-rnd: a six-component board in its gEDA copy (pcb-rnd's Autotrax reader names no pads, so it
# could not route), routed by pcb-rnd, with a silk arc and line added to every element so that the
# silk file has G75/G02 arcs.  Its rectangular pads come out as G36/G37 regions.
"$build/gen_board" 6 board.pcb --seed 3 --geda board.geda >/dev/null
printf 'AddRats(AllRats)\nAutoRoute(AllRats)\nSaveTo(LayoutAs,%s/routed.pcb,pcb)\nQuit(force)\n' "$work" |
    pcb-rnd --gui batch board.geda >route.log 2>&1
sed '/^Element\[/{n;s/^(/(\n\tElementArc[0 0 6000 6000 45 270 1000]\n\tElementLine[-6000 -9000 6000 -9000 1000]/}' \
    routed.pcb >silked.pcb
mkdir prnd
pcb-rnd -x gerber --gerberfile prnd/b silked.pcb
pcb-rnd -x excellon --filename prnd/b silked.pcb
cp prnd/b.top.copper.none.3.gbr "$here/pcbrnd.top.gbr"
cp prnd/b.bottom.copper.none.5.gbr "$here/pcbrnd.bot.gbr"
cp prnd/b.top.silk.none.1.gbr "$here/pcbrnd.silk.gbr"
cp prnd/b.plated.cnc "$here/pcbrnd.cnc"

# KiCad 6: copper, silk and both drill forms of a small board built through its own module.
/usr/bin/python3 "$here/make_kicad.py" "$work/kicad" >kicad.log 2>&1
for f in kicad.f_cu.gbr kicad.b_cu.gbr kicad.f_silk.gbr kicad_metric.drl kicad_inch_tz.drl; do
    cp "kicad/$f" "$here/$f"
done

# gerbv's rewrites: KiCad's front copper (macros come back as %AMMACROnn), pcb-rnd's silk (arcs) and
# KiCad's inch drill file.
gerbv -x rs274x -o "$here/gerbv.f_cu.gbr" "$here/kicad.f_cu.gbr" 2>/dev/null
gerbv -x rs274x -o "$here/gerbv.silk.gbr" "$here/pcbrnd.silk.gbr" 2>/dev/null
gerbv -x drill -o "$here/gerbv.drl" "$here/kicad_inch_tz.drl" 2>/dev/null
ls -l "$here"
