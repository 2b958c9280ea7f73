# A small KiCad 6 board plotted headless: copper of both sides, front silk and the drill file in its
# METRIC decimal and INCH,TZ forms.  Run with the interpreter KiCad's module is installed for:
#   /usr/bin/python3 make_kicad.py OUTDIR
# The board holds what KiCad's plots are known for: rounded and rotated rectangles (macros with $
# parameters), X2 attributes, %MOMM, arc tracks (G03), a filled zone (a region of many vertices) and a
# routed slot in the drill file.
import os
import shutil
import sys

import pcbnew

out = os.path.abspath(sys.argv[1])
work = os.path.join(out, "kicad_work")
os.makedirs(work, exist_ok=True)
libs = "/usr/share/kicad/footprints"


def mm(v):
    return pcbnew.FromMM(v)


def pt(x, y):
    return pcbnew.wxPoint(mm(x), mm(y))


board = pcbnew.BOARD()
gnd = pcbnew.NETINFO_ITEM(board, "GND")
sig = pcbnew.NETINFO_ITEM(board, "SIG")
board.Add(gnd)
board.Add(sig)


def place(lib, name, ref, x, y, angle=0.0):
    fp = pcbnew.FootprintLoad(os.path.join(libs, lib + ".pretty"), name)
    fp.SetReference(ref)
    fp.SetPosition(pt(x, y))
    if angle:
        fp.SetOrientationDegrees(angle)
    board.Add(fp)
    return fp


r1 = place("Resistor_SMD", "R_0805_2012Metric", "R1", 10, -30)
r2 = place("Resistor_SMD", "R_0805_2012Metric", "R2", 30, -30, 30)
u1 = place("Package_SO", "SOIC-8_3.9x4.9mm_P1.27mm", "U1", 20, -18)
j1 = place("Connector_PinHeader_2.54mm", "PinHeader_1x04_P2.54mm_Vertical", "J1", 6, -16)
d1 = place("Package_DIP", "DIP-8_W7.62mm", "U2", 28, -14)

# A slotted mounting pad: KiCad writes its hole as a routed slot.
slot = pcbnew.PAD(j1)
slot.SetNumber("5")
slot.SetShape(pcbnew.PAD_SHAPE_OVAL)
slot.SetAttribute(pcbnew.PAD_ATTRIB_PTH)
slot.SetSize(pcbnew.wxSize(mm(2.4), mm(4.0)))
slot.SetDrillShape(pcbnew.PAD_DRILL_SHAPE_OBLONG)
slot.SetDrillSize(pcbnew.wxSize(mm(1.0), mm(2.6)))
slot.SetLayerSet(pcbnew.PAD.PTHMask())
slot.SetPos0(pt(0, 12))  # saved relative to the footprint
slot.SetPosition(pt(6, -4))
j1.Add(slot)

for fp in (r1, u1, j1):
    for p in fp.Pads():
        if p.GetNumber() == "1":
            p.SetNet(sig)
for fp in (j1, d1):
    for p in fp.Pads():
        if p.GetNumber() == "4":
            p.SetNet(gnd)  # the pour keeps only islands that reach a pad of its net


def track(x1, y1, x2, y2, w=0.25, layer=pcbnew.F_Cu):
    t = pcbnew.PCB_TRACK(board)
    t.SetStart(pt(x1, y1))
    t.SetEnd(pt(x2, y2))
    t.SetWidth(mm(w))
    t.SetLayer(layer)
    t.SetNet(sig)
    board.Add(t)


def arc(sx, sy, mx, my, ex, ey, w=0.3, layer=pcbnew.F_Cu):
    a = pcbnew.PCB_ARC(board)
    a.SetStart(pt(sx, sy))
    a.SetMid(pt(mx, my))
    a.SetEnd(pt(ex, ey))
    a.SetWidth(mm(w))
    a.SetLayer(layer)
    a.SetNet(sig)
    board.Add(a)


track(9.0, -30, 6, -30)
track(6, -30, 6, -23.62)
track(17.5, -19.9, 12, -19.9, 0.4)
arc(12, -19.9, 10.2, -20.6, 9.5, -22.4)
arc(32, -36, 36, -32, 32, -28, 0.5)
track(20, -36, 32, -36, 0.5, pcbnew.B_Cu)

# The outline, on the 0.5 mm grid, with its lower-left corner as the plot origin.
corners = [(0, 0), (40, 0), (40, -40), (0, -40)]
for k in range(4):
    s = pcbnew.PCB_SHAPE(board)
    s.SetShape(pcbnew.SHAPE_T_SEGMENT)
    s.SetStart(pt(*corners[k]))
    s.SetEnd(pt(*corners[(k + 1) % 4]))
    s.SetLayer(pcbnew.Edge_Cuts)
    s.SetWidth(mm(0.1))
    board.Add(s)
board.GetDesignSettings().SetAuxOrigin(pt(0, 0))

# A ground pour on the back; the filler wants a board that went through a file.
zone = pcbnew.ZONE(board)
zone.SetLayer(pcbnew.B_Cu)
zone.SetNet(gnd)
outline = zone.Outline()
outline.NewOutline()
for x, y in ((2, -2), (38, -2), (38, -12), (2, -12)):
    outline.Append(mm(x), mm(y))
board.Add(zone)

path = os.path.join(work, "kicad.kicad_pcb")
board.Save(path)
board = pcbnew.LoadBoard(path)
pcbnew.ZONE_FILLER(board).Fill(board.Zones())

pc = pcbnew.PLOT_CONTROLLER(board)
po = pc.GetPlotOptions()
po.SetOutputDirectory(work)
po.SetPlotFrameRef(False)
po.SetUseAuxOrigin(True)
po.SetUseGerberX2format(True)
po.SetIncludeGerberNetlistInfo(True)
po.SetCreateGerberJobFile(False)
po.SetSubtractMaskFromSilk(False)
po.SetDrillMarksType(pcbnew.PCB_PLOT_PARAMS.NO_DRILL_SHAPE)
plotted = []
for layer, suffix in ((pcbnew.F_Cu, "F_Cu"), (pcbnew.B_Cu, "B_Cu"), (pcbnew.F_SilkS, "F_Silk")):
    pc.SetLayer(layer)
    pc.OpenPlotfile(suffix, pcbnew.PLOT_FORMAT_GERBER, suffix)
    pc.PlotLayer()
    plotted.append((pc.GetPlotFileName(), os.path.join(out, "kicad." + suffix.lower() + ".gbr")))
pc.ClosePlot()  # the last file is complete only now
for made, kept in plotted:
    shutil.copy(made, kept)

origin = board.GetDesignSettings().GetAuxOrigin()
for metric, zeros, left, right, name in (
    (True, pcbnew.EXCELLON_WRITER.DECIMAL_FORMAT, 3, 3, "kicad_metric.drl"),
    (False, pcbnew.EXCELLON_WRITER.SUPPRESS_LEADING, 2, 4, "kicad_inch_tz.drl"),
):
    w = pcbnew.EXCELLON_WRITER(board)
    w.SetOptions(False, False, origin, True)
    w.SetFormat(metric, zeros, left, right)
    w.CreateDrillandMapFilesSet(work, True, False)
    shutil.copy(os.path.join(work, "kicad.drl"), os.path.join(out, name))
