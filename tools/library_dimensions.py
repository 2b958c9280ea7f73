"""Package dimensions behind the footprint libraries, in millimetres unless a name says otherwise.

Package outlines are JEDEC (MS-001, MS-011, MS-012, MS-013, MO-153, MO-150, MO-187, MS-026, MO-220,
TO-236, MO-178, TO-261, TO-220, TO-226/TO-92, DO-204, DO-214) and EIA chip sizes; a (min, max) pair is
the outline's tolerance band.  Surface land patterns are worked out from these with the IPC-7351B
formulas at density level B (nominal); through-hole drills follow IPC-2222 level B (largest lead plus
0.2 mm).  Values are strings so that they enter the generator exactly.
"""

# --- IPC-7351B land pattern inputs --------------------------------------------------------------

# Board fabrication and placement tolerances that the land formulas add in root-sum-square.
FAB_TOL = "0.10"
PLACE_TOL = "0.05"

# Solder fillet goals (toe, heel, side) at density level B, by lead form.
FILLETS = {
    "chip": ("0.35", "0.00", "0.00"),        # rectangular end-capped parts, 1608 (0603) and up
    "chip_small": ("0.10", "0.00", "0.00"),  # below 1608: the goals shrink with the part
    "gull": ("0.35", "0.35", "0.03"),        # gull-wing leads, pitch above 0.625
    "gull_fine": ("0.35", "0.35", "-0.02"),  # gull-wing leads, pitch 0.625 and below
    "no_lead": ("0.30", "0.00", "-0.04"),    # flat no-lead (QFN) terminals
    "l_bend": ("0.15", "0.50", "-0.05"),     # inward L-bend (molded diode bodies)
}

# --- Chip resistors and capacitors (EIA sizes) -------------------------------------------------
# name: (L min, L max, W min, W max, terminal min, terminal max)
CHIPS = {
    "0402": ("0.95", "1.05", "0.45", "0.55", "0.15", "0.35"),
    "0603": ("1.50", "1.70", "0.70", "0.90", "0.20", "0.50"),
    "0805": ("1.90", "2.10", "1.15", "1.35", "0.20", "0.60"),
    "1206": ("3.10", "3.30", "1.50", "1.70", "0.25", "0.75"),
    "1210": ("3.10", "3.30", "2.40", "2.60", "0.25", "0.75"),
    "1812": ("4.30", "4.70", "3.00", "3.40", "0.25", "0.75"),
    "2010": ("4.90", "5.10", "2.40", "2.60", "0.35", "0.85"),
    "2512": ("6.20", "6.40", "3.10", "3.30", "0.35", "0.85"),
}
RESISTOR_CHIPS = ["0402", "0603", "0805", "1206", "1210", "2010", "2512"]
CAPACITOR_CHIPS = ["0402", "0603", "0805", "1206", "1210", "1812"]

# --- Two-row gull-wing packages -----------------------------------------------------------------
# name: (pins, pitch, lead span E min/max, body width E1, body length D, foot L min/max,
#        lead width b min/max)
DUAL_ROW = {
    # MS-012 (3.9 mm body)
    "SOIC8": (8, "1.27", "5.80", "6.20", "3.90", "4.90", "0.40", "1.27", "0.31", "0.51"),
    "SOIC14": (14, "1.27", "5.80", "6.20", "3.90", "8.65", "0.40", "1.27", "0.31", "0.51"),
    "SOIC16": (16, "1.27", "5.80", "6.20", "3.90", "9.90", "0.40", "1.27", "0.31", "0.51"),
    # MS-013 (7.5 mm body)
    "SOIC16W": (16, "1.27", "10.00", "10.65", "7.50", "10.30", "0.40", "1.27", "0.31", "0.51"),
    "SOIC18W": (18, "1.27", "10.00", "10.65", "7.50", "11.55", "0.40", "1.27", "0.31", "0.51"),
    "SOIC20W": (20, "1.27", "10.00", "10.65", "7.50", "12.80", "0.40", "1.27", "0.31", "0.51"),
    "SOIC24W": (24, "1.27", "10.00", "10.65", "7.50", "15.40", "0.40", "1.27", "0.31", "0.51"),
    "SOIC28W": (28, "1.27", "10.00", "10.65", "7.50", "17.90", "0.40", "1.27", "0.31", "0.51"),
    # MO-153 (4.4 mm body)
    "TSSOP8": (8, "0.65", "6.20", "6.60", "4.40", "3.00", "0.45", "0.75", "0.19", "0.30"),
    "TSSOP14": (14, "0.65", "6.20", "6.60", "4.40", "5.00", "0.45", "0.75", "0.19", "0.30"),
    "TSSOP16": (16, "0.65", "6.20", "6.60", "4.40", "5.00", "0.45", "0.75", "0.19", "0.30"),
    "TSSOP20": (20, "0.65", "6.20", "6.60", "4.40", "6.50", "0.45", "0.75", "0.19", "0.30"),
    "TSSOP24": (24, "0.65", "6.20", "6.60", "4.40", "7.80", "0.45", "0.75", "0.19", "0.30"),
    "TSSOP28": (28, "0.65", "6.20", "6.60", "4.40", "9.70", "0.45", "0.75", "0.19", "0.30"),
    # MO-150 (5.3 mm body)
    "SSOP16": (16, "0.65", "7.40", "8.20", "5.30", "6.20", "0.55", "0.95", "0.22", "0.38"),
    "SSOP20": (20, "0.65", "7.40", "8.20", "5.30", "7.20", "0.55", "0.95", "0.22", "0.38"),
    "SSOP24": (24, "0.65", "7.40", "8.20", "5.30", "8.20", "0.55", "0.95", "0.22", "0.38"),
    "SSOP28": (28, "0.65", "7.40", "8.20", "5.30", "10.20", "0.55", "0.95", "0.22", "0.38"),
    # MO-187 (3 mm body)
    "MSOP8": (8, "0.65", "4.75", "5.05", "3.00", "3.00", "0.40", "0.70", "0.22", "0.38"),
    "MSOP10": (10, "0.50", "4.75", "5.05", "3.00", "3.00", "0.40", "0.70", "0.17", "0.27"),
}

# --- Small transistor outlines --------------------------------------------------------------------
# Pins per column are listed top to bottom; the numbering runs counter-clockwise from pin 1.
# name: (left pins, right pins, pitch, E min/max, E1, D, L min/max, b min/max, ref)
SOT = {
    "SOT23": (["1", "2"], ["3"], "0.95", "2.10", "2.64", "1.30", "2.92", "0.40", "0.60", "0.30", "0.50", "Q?"),
    "SOT23-5": (["1", "2", "3"], ["5", "4"], "0.95", "2.60", "3.00", "1.60", "2.90", "0.30", "0.60", "0.30", "0.50",
                "U?"),
    "SOT23-6": (["1", "2", "3"], ["6", "5", "4"], "0.95", "2.60", "3.00", "1.60", "2.90", "0.30", "0.60", "0.30",
                "0.50", "U?"),
}
# TO-261AA: three leads on the left, the wide tab (pin 4) on the right.
SOT223 = {"pitch": "2.30", "E": ("6.70", "7.30"), "E1": "3.50", "D": "6.50", "L": ("0.90", "1.10"),
          "b": ("0.66", "0.84"), "b_tab": ("2.90", "3.10")}

# --- Two-terminal molded diodes (pin 1 = cathode, on the left) ------------------------------------
# name: (overall length min/max, body length, body width, terminal min/max, terminal width min/max, form)
DIODES_SMD = {
    "SOD123": ("3.55", "3.85", "2.70", "1.60", "0.25", "0.55", "0.45", "0.65", "gull"),
    "SOD323": ("2.30", "2.70", "1.70", "1.25", "0.20", "0.40", "0.25", "0.40", "gull"),
    "SMA": ("4.80", "5.28", "4.30", "2.60", "0.76", "1.52", "1.27", "1.63", "l_bend"),  # DO-214AC
    "SMB": ("5.21", "5.59", "4.30", "3.60", "0.76", "1.52", "1.96", "2.21", "l_bend"),  # DO-214AA
    "SMC": ("7.75", "8.13", "6.85", "5.90", "0.76", "1.52", "2.90", "3.20", "l_bend"),  # DO-214AB
}

# --- Quad flat packages ---------------------------------------------------------------------------
# MS-026 TQFP, 1.0 mm thick. name: (pins, pitch, body, lead span min/max, L min/max, b min/max)
TQFP = {
    "TQFP32": (32, "0.80", "7.00", "8.80", "9.20", "0.45", "0.75", "0.30", "0.45"),
    "TQFP44": (44, "0.80", "10.00", "11.80", "12.20", "0.45", "0.75", "0.30", "0.45"),
    "TQFP48": (48, "0.50", "7.00", "8.80", "9.20", "0.45", "0.75", "0.17", "0.27"),
    "TQFP64": (64, "0.50", "10.00", "11.80", "12.20", "0.45", "0.75", "0.17", "0.27"),
    "TQFP100": (100, "0.50", "14.00", "15.80", "16.20", "0.45", "0.75", "0.17", "0.27"),
}
# MO-220 QFN, 0.5 mm pitch, with the exposed pad as pin n+1.
# name: (pins, body min/max, L min/max, b min/max, exposed pad)
QFN = {
    "QFN16": (16, "2.90", "3.10", "0.30", "0.50", "0.18", "0.30", "1.70"),
    "QFN20": (20, "3.90", "4.10", "0.30", "0.50", "0.18", "0.30", "2.60"),
    "QFN24": (24, "3.90", "4.10", "0.30", "0.50", "0.18", "0.30", "2.60"),
    "QFN28": (28, "4.90", "5.10", "0.30", "0.50", "0.18", "0.30", "3.25"),
    "QFN32": (32, "4.90", "5.10", "0.30", "0.50", "0.18", "0.30", "3.45"),
    "QFN40": (40, "5.90", "6.10", "0.30", "0.50", "0.18", "0.30", "4.50"),
    "QFN48": (48, "6.90", "7.10", "0.30", "0.50", "0.18", "0.30", "5.15"),
    "QFN64": (64, "8.90", "9.10", "0.30", "0.50", "0.18", "0.30", "7.15"),
}
QFN_PITCH = "0.50"

# --- Through-hole parts ---------------------------------------------------------------------------
# Drill: the lead's largest cross-section (the diagonal of a rectangular lead) plus this, to 0.05 mm.
HOLE_ALLOWANCE = "0.20"
# Pad: drill plus twice the annular ring, rounded up to 0.1 mm, never below the smallest pad.
ANNULAR_TOTAL = "0.70"
MIN_PAD = "1.60"
# Copper left between neighbouring pads; pads that would come closer are made narrower along the row.
PAD_GAP = "0.50"

# MS-001 (0.300 in rows) and MS-011 (0.600 in rows): pitch 0.1 in, lead 0.36-0.56 x 0.20-0.36.
DIP_PITCH_MIL = 100
DIP_LEAD = ("0.56", "0.36")  # largest width and thickness at the seating plane
DIP_NARROW = {"row_mil": 300, "body_mil": 250, "pins": [4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 28]}
DIP_WIDE = {"row_mil": 600, "body_mil": 550, "pins": [24, 28, 32, 36, 40, 44, 48]}

# Pin headers: 0.64 mm square posts on 0.1 in centres, plastic carrier 0.1 in per position.
HEADER_PITCH_MIL = 100
HEADER_POST = ("0.64", "0.64")
HEADER_SINGLE = range(1, 41)
HEADER_DOUBLE = range(2, 41)

# TO-220AB, standing: leads 0.69-0.93 x 0.36-0.61 on 0.1 in, body 10.16 wide and 4.45 deep with the
# 1.27 mm tab at the back; the lead row sits 2.5 mm in front of the tab's back face.
TO220 = {"pitch_mil": 100, "lead": ("0.93", "0.61"), "width": "10.16", "depth": "4.45", "tab": "1.27",
         "lead_to_back": "2.50"}
# TO-92 (TO-226AA) with its leads formed to 0.1 in: 0.56 x 0.51 leads, a 4.8 mm body whose flat face
# is a chord 45 degrees from the lead row.
TO92 = {"pitch_mil": 100, "lead": ("0.56", "0.51"), "diameter": "4.80"}

# Axial resistors by lead spacing: body length and diameter of the carbon-film bodies that fit
# (1/8, 1/4, 1/2 and 1 W), lead diameter.
AXIAL = {
    300: ("3.60", "1.80", "0.45"),
    400: ("6.30", "2.50", "0.60"),
    500: ("9.00", "3.20", "0.60"),
    600: ("11.00", "4.50", "0.80"),
}
# DO-204AH (DO-35) and DO-204AL (DO-41) at their usual bend spacings: body length, diameter, lead.
DIODES_THD = {
    "DO35": (300, "4.00", "1.90", "0.56"),
    "DO41": (400, "4.60", "2.40", "0.86"),
}
