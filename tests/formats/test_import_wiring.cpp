// The readers as chooser rows: which row takes which file and forced code, the questions asked as
// platform dialogs and their answers read back, the skip report as report lines, the merge of more
// files into a board, and writer "G" saving an imported photoplot back as Gerber.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "cam/gerber_export.h"
#include "cam/plot_types.h"
#include "formats/register.h"
#include "model/chooser.h"
#include "model/model.h"
#include "model/setup_directives.h"
#include "platform/headless.h"

namespace import_wiring {
namespace {

using namespace trazel;
using model::Ref;
namespace fs = std::filesystem;

constexpr model::Coord kIn = 65536;

std::string data(const std::string& name) {
    return std::string(TRAZEL_SOURCE_DIR) + "/tests/data/" + name;
}

// An RS-274-D file: no format block and no aperture definitions, coordinates in thousandths (3 decimals).
std::string plain_photoplot() {
    std::string s = "G04 no format*\nD10*\n";
    for (int i = 0; i < 12; ++i) {
        s += "X" + std::to_string(i * 1000) + "Y0D02*\nX" + std::to_string(i * 1000) + "Y500D01*\n";
    }
    return s + "D11*\nX5000Y5000D03*\nM02*\n";
}

struct Wiring : ::testing::Test {
    model::Model m;
    model::FormatTable t;
    platform::Headless ui;
    model::Document* d = nullptr;
    fs::path dir;

    void SetUp() override {
        platform::install(&ui);
        model::register_model_formats(t);
        formats::register_import_formats(t);
        cam::register_cam_formats(t);
        d = model::NewDocument("photo.pcb");
        ASSERT_NE(d, nullptr);
        dir = fs::temp_directory_path() / ("trazel-wiring-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        platform::install(nullptr);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string write(const std::string& name, const std::string& text) {
        std::string p = (dir / name).string();
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    int count(uint8_t kind, int layer = -1) const {
        int n = 0;
        for (Ref r : model::items_in(d->ring())) {
            const model::Node& x = model::node(r);
            n += x.item_kind() == kind && (layer < 0 || x.layer == layer) ? 1 : 0;
        }
        return n;
    }
    std::string layer_name(int k) const {
        return d->setup.layers[static_cast<size_t>(k)].name;
    }
    const platform::Form* shown(const std::string& name) const {
        for (const platform::Form& f : ui.dialogs) {
            if (f.name == name) {
                return &f;
            }
        }
        return nullptr;
    }
};

TEST_F(Wiring, RowsTakeTheirFilesByContentOrForcedCode) {
    // Our own photoplot by content: one layer named after the file, copper by its extension.
    EXPECT_EQ(model::OpenDocumentFile(t, data("small_board.top"), 0), 'G');
    EXPECT_EQ(d->setup.format_code, 'G');
    EXPECT_EQ(layer_name(1), "small_board.top");
    EXPECT_EQ(d->setup.layers[1].type, model::kLayerCopper);
    EXPECT_EQ(count(model::kPad, 1), 2);

    // The small drill file is below the recognition count: plain text unless Excellon is forced.
    model::Document* drl = model::NewDocument("drill.pcb");
    ASSERT_NE(drl, nullptr);
    d = drl;
    EXPECT_EQ(model::OpenDocumentFile(t, data("small_board.drl"), 0), 'Z');
    model::Document* forced = model::NewDocument("forced.pcb");
    d = forced;
    EXPECT_EQ(model::OpenDocumentFile(t, data("small_board.drl"), 'I'), 'E');
    EXPECT_EQ(count(model::kPad, 0), 2);
    // The hexdump code passes both rows by, to the byte dump.
    model::Document* hex = model::NewDocument("hex.pcb");
    d = hex;
    EXPECT_NE(model::OpenDocumentFile(t, data("small_board.top"), model::kForcedHexDump), 'G');
    EXPECT_EQ(count(model::kLine), 0);
}

TEST_F(Wiring, FormatQuestionIsAFormAndItsAnswersCount) {
    ui.dialog_answers[formats::kGerberImportBox].push_back({true, {{"decimals", "3"}}});
    ui.dialog_answers[formats::kApertureBox].push_back({true, {{"width", "10"}, {"shape", "square"}}});
    std::string p = write("plain.pho", plain_photoplot());
    ASSERT_EQ(model::OpenDocumentFile(t, p, 0), 'G');
    const platform::Form* f = shown(formats::kGerberImportBox);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->title, "Gerber Import Alert");
    const platform::Field* dec = f->field("decimals");
    ASSERT_NE(dec, nullptr);
    EXPECT_EQ(dec->min, 0);
    EXPECT_EQ(dec->max, 7);
    EXPECT_EQ(ui.sounds.front(), platform::Sound::Error);
    // Decimals 3: X11000 is 11 inches.  D10 got 0.010 inch, square; D11 (not answered) its zero sizes.
    model::Coord xmax = 0;
    for (Ref r : model::items_in(d->ring())) {
        const model::Node& n = model::node(r);
        if (n.item_kind() == model::kLine) {
            xmax = std::max(xmax, n.line.x2);
            EXPECT_EQ(n.size, model::mils_to_units(10));
        } else if (n.item_kind() == model::kPad) {
            EXPECT_EQ(n.pad.x0, 5 * kIn);
        }
    }
    EXPECT_EQ(xmax, 11 * kIn);
    EXPECT_EQ(count(model::kLine), 12);

    // Cancelling the format question declines the file; the chooser offers it to no other row.
    model::Document* again = model::NewDocument("again.pcb");
    d = again;
    ui.dialog_answers[formats::kGerberImportBox].push_back({false, {}});
    EXPECT_EQ(model::OpenDocumentFile(t, p, 0), 0);
    EXPECT_EQ(count(model::kLine), 0);
}

TEST_F(Wiring, DrillQuestionsAskForToolsAndDefaults) {
    // No header and no tool sizes: the format question, then a question per tool without diameter.
    std::string body = "T1\n";
    for (int i = 0; i < 10; ++i) {
        body += "X0" + std::to_string(100 + i) + "Y0100\n";
    }
    body += "T2\nX0200Y0200\nM30\n";
    std::string p = write("holes.drl", body);
    ui.dialog_answers[formats::kDrillToolBox].push_back({true, {{"diameter", "40"}}});
    ui.dialog_answers[formats::kDrillToolBox].push_back({true, {{"defaults", "1"}}});
    ASSERT_EQ(model::OpenDocumentFile(t, p, 0), 'E');
    ASSERT_NE(shown(formats::kDrillFormatBox), nullptr);
    ASSERT_EQ(count(model::kPad), 11);
    int forty = 0, fallback = 0;
    for (Ref r : model::items_in(d->ring())) {
        const model::Node& n = model::node(r);
        forty += n.pad.hole == model::mils_to_units(40) ? 1 : 0;
        fallback += n.pad.hole == formats::kDefaultDrill ? 1 : 0;
    }
    EXPECT_EQ(forty, 10);
    EXPECT_EQ(fallback, 1);
    // Cancelling the format question declines the file.
    model::Document* again = model::NewDocument("again.pcb");
    d = again;
    ui.dialog_answers[formats::kDrillFormatBox].push_back({false, {}});
    EXPECT_EQ(model::OpenDocumentFile(t, p, 0), 0);
    EXPECT_EQ(count(model::kPad), 0);
}

TEST_F(Wiring, AnswersReadBackWithinTheirLimits) {
    formats::GerberImportForm g;
    platform::Form gf = formats::gerber_import_form(g);
    EXPECT_EQ(gf.get("decimals"), "4");
    gf.set("decimals", "9");
    gf.set("incremental", "1");
    formats::read_back(gf, g);
    EXPECT_EQ(g.decimals, 7);
    EXPECT_TRUE(g.incremental);
    gf.set("decimals", "junk");
    formats::read_back(gf, g);
    EXPECT_EQ(g.decimals, 7); // unreadable: kept

    formats::ApertureForm a;
    a.dcode = 23;
    platform::Form af = formats::aperture_form(a);
    EXPECT_NE(af.field("dcode")->label.find("D23"), std::string::npos);
    af.set("shape", "2");
    af.set("width", "12.6");
    af.set("height", "-3");
    formats::read_back(af, a);
    EXPECT_EQ(a.shape, formats::kApertureRectangle);
    EXPECT_EQ(a.width, 13);
    EXPECT_EQ(a.height, 0);
    af.set("shape", "round");
    formats::read_back(af, a);
    EXPECT_EQ(a.shape, formats::kApertureRound);
}

TEST_F(Wiring, SkippedConstructsBecomeReportLines) {
    formats::SkipEntry e{"board.gbr", 14, "%LPC clear object", 124};
    EXPECT_EQ(formats::skip_line(e), "board.gbr:14: %LPC clear object (124 objects)");
    e.objects = 1;
    EXPECT_EQ(formats::skip_line(e), "board.gbr:14: %LPC clear object (1 object)");

    std::ifstream in(data("small_board.top"), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    text.insert(text.find('\n') + 1, "%IPNEG*%\n");
    std::string p = write("neg.gbr", text);
    ASSERT_EQ(model::OpenDocumentFile(t, p, 0), 'G');
    ASSERT_EQ(ui.reports.size(), 1u);
    EXPECT_EQ(ui.reports[0].rfind(p + ":2: ", 0), 0u) << ui.reports[0];
}

TEST_F(Wiring, MergeSkipsTheChooserDefaultsAndFallsBackByName) {
    model::ApplyDirective(d->setup, "-y0:00000000,00FFFFFF,0,Pad Master");
    model::ApplyDirective(d->setup, "-y1:00FFFF00,000000FF,0,Top Silk");
    model::ApplyDirective(d->setup, "-dyTOP:0,1");
    formats::ImportStats st;
    EXPECT_EQ(formats::merge_file(data("small_board.top"), *d, 0, nullptr, &st), 'G');
    EXPECT_EQ(st.layer, 2); // the next free layer; the board's own stay
    EXPECT_EQ(layer_name(1), "Top Silk");
    EXPECT_EQ(d->setup.gerber[0].ext[0], 'T'); // the output rows are the board's
    EXPECT_EQ(formats::merge_file(data("small_board.bot"), *d, 0, nullptr, &st), 'G');
    EXPECT_EQ(st.layer, 3);
    std::string why;
    // Too small to recognise: without a fallback it is refused, with one it is read.
    EXPECT_EQ(formats::merge_file(data("small_board.drl"), *d, 0, &why), 0);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(formats::merge_file(data("small_board.drl"), *d, 'I', &why), 'E');
    EXPECT_EQ(count(model::kPad, 0), 2);
    EXPECT_EQ(formats::merge_file((dir / "missing.gbr").string(), *d, 'G', &why), 0);

    EXPECT_TRUE(formats::drill_file_name("x/BOARD.DRL"));
    EXPECT_TRUE(formats::drill_file_name("board.xln"));
    EXPECT_FALSE(formats::drill_file_name("board.top"));
    EXPECT_FALSE(formats::drill_file_name("dir.drl/board"));
}

TEST_F(Wiring, WriterGSavesAnImportedPhotoplotBack) {
    ASSERT_EQ(model::OpenDocumentFile(t, data("small_board.bot"), 0), 'G');
    int lines = count(model::kLine), pads = count(model::kPad);
    std::string bytes;
    ASSERT_TRUE(model::save_document_bytes(t, bytes, 0)); // the Document's own code: G
    EXPECT_EQ(bytes.rfind("%FSLAX24Y24*%", 0), 0u);
    model::Document* back = model::NewDocument("back.pcb");
    d = back;
    ASSERT_EQ(model::open_document_bytes(t, bytes, 0), 'G');
    EXPECT_EQ(count(model::kPad), pads);
    EXPECT_GE(count(model::kLine), lines); // and the plot label's strokes
}

TEST_F(Wiring, ExportRowIsTheFirstGerberRow) {
    model::Setup s;
    model::ApplyDirective(s, "-y1:00FFFF00,000000FF,2,Top");
    model::ApplyDirective(s, "-y2:00FFFF00,000000FF,2,Bottom");
    // Without rows: a copper row over every layer in use.
    model::GerberEntry all = cam::export_row(s);
    EXPECT_EQ(all.kind & cam::kFileTypeMask, cam::kCopper);
    EXPECT_TRUE(all.layers.test(1));
    EXPECT_TRUE(all.layers.test(2));
    EXPECT_FALSE(all.layers.test(3));
    model::ApplyDirective(s, "-dyDRL:4");
    model::ApplyDirective(s, "-dyAPR:7");
    model::ApplyDirective(s, "-dyBOT:8,2");
    model::GerberEntry row = cam::export_row(s);
    EXPECT_EQ(std::string(row.ext, 3), "BOT");
    EXPECT_TRUE(row.layers.test(2));
    EXPECT_FALSE(row.layers.test(1));
}

} // namespace
} // namespace import_wiring
