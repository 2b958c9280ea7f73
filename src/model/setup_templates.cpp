// The built-in directive sets: defaults applied before imports and for text and log views.
#include <span>

#include "model/model.h"
#include "model/setup_directives.h"

namespace trazel::model {

namespace {

enum class Dialect : uint8_t { Current, Older };

struct TemplateLine {
    Dialect dialect;
    const char* text;
};

constexpr Dialect C = Dialect::Current;
constexpr Dialect O = Dialect::Older;

// Screen colours, Layer table, Gerber list, library list and origin start from known values.
constexpr TemplateLine kChooserDefaults[] = {
    {C, "-gd0,FFFFFF,909090,FFFFFF,FFFF00"}, {C, "-y1"}, {C, "-dy"}, {C, "-b"}, {C, "-gz0,0"},
};

constexpr TemplateLine kVersion2Board[] = {
    {O, "-y0:5,0,Pad Master"},
    {O, "-y1:7,0,Top Silk"},
    {O, "-y2:3,1,Top Mask"},
    {O, "-y3:4,2,Top Side"},
    {O, "-y4:0,11,VCC"},
    {O, "-y5:0,2,Mid Layer 1"},
    {O, "-y6:0,10,Mid Layer 2"},
    {O, "-y7:0,2,Mid Layer 3"},
    {O, "-y8:0,10,Mid Layer 4"},
    {O, "-y9:0,2,Mid Layer 5"},
    {O, "-y10:0,10,Mid Layer 6"},
    {O, "-y11:0,3,GND"},
    {O, "-y12:1,10,Bottom Side"},
    {O, "-y13:2,9,Bottom Mask"},
    {O, "-y14:8,8,Bottom Silk"},
    {O, "-y15:0,7,Special"},
    {O, "-y0"},
    {O, "-m-2000,-2000,20000,20000"},
    {O, "-gr3,25,1,5,25,100"},
    {O, "-gd100"},
    {O, "-gm3,2,3,1"},
    {O, "-gz0,0"},
    {O, "-l10"},
    {O, "-p45v25"},
    {O, "-t48"},
    {O, "-hp1204000000006000"},
    {O, "-hs1.000,0,0,0,0,0,0,0,0"},
    {O, "-hm3,2,3,1,0"},
    {O, "-nr0"},
    {O, "-nh2"},
    {O, "-nc10,14,8,12,24,10"},
    {O, "-dp10,5,0,25"},
    {O, "-dy"},
    {O, "-dyTSS:6,1"},
    {O, "-dyTSM:2,2"},
    {O, "-dyTOP:0,3"},
    {O, "-dyBOT:8,12"},
    {O, "-dyBSM:10,13"},
    {O, "-dyBSS:14,14"},
    {O, "-dyDRL:4"},
    {O, "-dyLST:7"},
    {O, "-dyDWG:5"},
    {O, "-b"},
};

constexpr TemplateLine kTangoSchematic[] = {
    {O, "-y0:2,0,Pad Master"},
    {O, "-y1:7,2,Symbols"},
    {O, "-y2:1,6,Signals"},
    {O, "-y3:4,7,Busses"},
    {O, "-y4:0,0,-"},
    {O, "-y5:0,0,-"},
    {O, "-y6:0,0,-"},
    {O, "-y7:0,0,-"},
    {O, "-y8:0,0,-"},
    {O, "-y9:0,0,-"},
    {O, "-y10:0,0,-"},
    {O, "-y11:0,0,-"},
    {O, "-y12:0,0,-"},
    {O, "-y13:0,0,-"},
    {O, "-y14:0,0,-"},
    {O, "-y15:0,0,-"},
    {O, "-y1"},
    {O, "-m-32000,-32000,32000,32000"},
    {O, "-gr3,25,1,5,25,100"},
    {O, "-gd100"},
    {O, "-gm3,2,3,1"},
    {O, "-gz0,0"},
    {O, "-l10"},
    {O, "-p45v25"},
    {O, "-t48"},
    {O, "-hp1220000000000000"},
    {O, "-hs1.000,0,0,0,0,0,0,0,0"},
    {O, "-hm3,2,3,1,0"},
    {O, "-nr0"},
    {O, "-nh2"},
    {O, "-nc0,0,0,0,0,0"},
    {O, "-dp10,5,0,25"},
    {O, "-dy"},
    {O, "-b"},
};

constexpr TemplateLine kGerberImport[] = {
    {C, "-gc0,0,0,0,0,0"},
    {C, "-gd.1,FFFFFF,909090,FFFFFF,FFFF00"},
    {C, "-gm3,6,3,0"},
    {C, "-gp7,0,1.0,0,0,0,0"},
    {C, "-gs0.025,0,1,5,25,100"},
    {C, "-gx0,0,0,0"},
    {C, "-gz"},
    {C, "-y0:00000000,00FFFFFF,0,Pad Master"},
    {C, "-iv0,.05,.028"},
    {C, "-ip1,0,.1,.1,.048"},
    {C, "-it.048"},
    {C, "-dp.01,.005,.025,.025"},
    {C, "-dyGER:0,1"},
};

// DXF drawings: like the photoplot import, but the Layer table starts empty (layers come from the
// drawing's names).
constexpr TemplateLine kDxfImport[] = {
    {C, "-gc0,0,0,0,0,0"}, {C, "-gd.1,FFFFFF,909090,FFFFFF,FFFF00"}, {C, "-gm3,6,3,0"},
    {C, "-gp7,0,1.0,0,0,0,0"}, {C, "-gs0.025,0,1,5,25,100"}, {C, "-gx0,0,0,0"}, {C, "-gz"}, {C, "-y0"},
    {C, "-iv0,.05,.028"}, {C, "-ip1,0,.1,.1,.048"}, {C, "-it.048"}, {C, "-dp.01,.005,.025,.025"}, {C, "-dy"},
};

// The layer set of the older board programs' exchange files (Tango and AutoTrax).
constexpr TemplateLine kForeignBoard[] = {
    {C, "-y0"},
    {C, "-y0:00AA00AA,00FFFF00,0,Pad Master"},
    {C, "-y1:00FFFF00,000000FF,4,Symbols"},
    {C, "-y2:0000AA00,00FF00FF,7,CAM Control"},
    {C, "-y3:00000000,00FF00FF,0,Top Silk"},
    {C, "-y4:01000000,01000000,8,Bottom Silk"},
    {C, "-y5:01000000,01000000,1,Top Mask"},
    {C, "-y6:01000000,01000000,9,Bottom Mask"},
    {C, "-y7:00AA0000,01000000,2,Top Copper"},
    {C, "-y8:000000AA,01000000,10,Bottom Copper"},
    {C, "-y9:00FF5555,01000000,3,Vcc"},
    {C, "-y10:005555FF,01000000,3,Gnd"},
    {C, "-y11:005555FF,01000000,2,Mid Layer 1"},
    {C, "-y12:0055FF55,01000000,2,Mid Layer 2"},
    {C, "-y13:0055FFFF,01000000,2,Mid Layer 3"},
    {C, "-y14:00FF5555,01000000,2,Mid Layer 4"},
    {C, "-y15:0055FFFF,01000000,7,Keep Out"},
    {C, "-y16:00FFFFFF,01000000,7,Top Assembly"},
    {C, "-y17:00AAAAAA,01000000,7,Bottom Assembly"},
    {C, "-y18:00FFFF55,01000000,7,Connections"},
    {C, "-y19:00555555,01000000,7,Drill drawing"},
    {C, "-y255:00FFFF00,01000000,7,Ratnest"},
    {O, "-m-32000,-32000,32000,32000"},
    {O, "-gr3,25,1,5,25,100"},
    {O, "-gd100"},
    {O, "-gz0,0"},
    {O, "-gm3,2,3,1,0,1,0,1"},
    {O, "-l10"},
    {O, "-p45v25"},
    {O, "-t48"},
    {O, "-hm3,2,3,1,0"},
    {O, "-nc9,13,8,12,24,11"},
    {O, "-dp10,5,0,25"},
    {O, "-dy"},
    {O, "-b"},
    {O, "-bTHD.LIB"},
    {O, "-bSMD.LIB"},
    // Screen colours last: the older grid line above sets the spacing only.
    {C, "-gd.1,FFFFFF,909090,FFFFFF,FFFF00"},
};

constexpr TemplateLine kLogView[] = {
    {O, "-y0:7,7,TXT"},
    {O, "-y0"},
    {O, "-m-100,-32000,1000,100"},
    {O, "-gr3,1,1,10,100"},
    {O, "-gm3,2,3,1"},
    {O, "-gz0,0"},
    {O, "-l1"},
    {O, "-p45v25"},
    {O, "-t6"},
    {C, "-gd1,0000FF,FFFFFF,00FF00,FF0000"},
};

constexpr TemplateLine kPenLayers[] = {
    {O, "-y1:1,0,Pen 1"}, {O, "-y2:2,0,Pen 2"}, {O, "-y3:3,0,Pen 3"}, {O, "-y4:4,0,Pen 4"}, {O, "-y5:5,0,Pen 5"},
    {O, "-y6:6,0,Pen 6"}, {O, "-y7:7,0,Pen 7"}, {O, "-y8:8,0,Pen 8"}, {O, "-y9:9,0,Pen 9"},
};

std::span<const TemplateLine> template_lines(Template t) {
    switch (t) {
    case Template::ChooserDefaults:
        return kChooserDefaults;
    case Template::Version2Board:
        return kVersion2Board;
    case Template::TangoSchematic:
        return kTangoSchematic;
    case Template::GerberImport:
        return kGerberImport;
    case Template::LogView:
        return kLogView;
    case Template::PenLayers:
        return kPenLayers;
    case Template::DxfImport:
        return kDxfImport;
    case Template::ForeignBoard:
        return kForeignBoard;
    }
    return {};
}

} // namespace

void apply_template(Setup& s, Template t) {
    for (const TemplateLine& l : template_lines(t)) {
        if (l.dialect == Dialect::Current) {
            ApplyDirective(s, l.text);
        } else {
            ApplyOldDirective(s, l.text);
        }
    }
}

void apply_template(Template t) {
    if (g_model && M().current) {
        apply_template(M().setup(), t);
    }
}

} // namespace trazel::model
