// Saving Documents read from the older formats: "Save File Warning" answered OK or Cancel, the version
// 3.8 writer with its "Version 3.8 Warning", and Save as with the 3.8 entry.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "app/core/headless_run.h"
#include "file_text.h"
#include "model/model.h"
#include "shell/shell.h"

namespace trazel::test {

namespace {

namespace fs = std::filesystem;
using platform::Answer;
using shell::code;

constexpr const char* kV3 = "TRAZEL Version 3.5 -- DATA FILE\r\n\r\n-m-1000,-1000,10000,8000\r\n-hp1204000000006000\r\n"
                            "-gd50\r\n-p45r25,0\r\n"
                            "-y0:5,0,Pad Master\r\n-y1:7,0,Top Silk\r\n-y3:4,2,Top Side\r\n-y3\r\n\r\n"
                            "3 0 49 1000 1000 60 60 35 1 VCC\r\n1 3 12 1000 1000 2000 1000 VCC\r\n\r\nEND OF FILE\r\n";

using test_files::slurp;

class SaveScript : public platform::Headless {
  public:
    std::deque<std::string> save_answers;
    int save_filter = -1;
    std::vector<std::string> filters_shown;

    std::string save_file_dialog(std::string_view, const std::vector<std::string>& filters, int& filter_index,
                                 std::string_view) override {
        filters_shown = filters;
        if (save_filter >= 0) {
            filter_index = save_filter;
        }
        if (save_answers.empty()) {
            return {};
        }
        std::string a = save_answers.front();
        save_answers.pop_front();
        return a;
    }
};

class OldSave : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        root = fs::temp_directory_path() / ("trazel-oldsave-" + std::to_string(rd()));
        fs::create_directories(root / "bin");
        board = root / "old.pcb";
        std::ofstream(board, std::ios::binary) << kV3;
        run.app.shell.program_dir = (root / "bin").string() + "/";
        ASSERT_NE(run.start({board.string()}), 0);
        ASSERT_TRUE(run.until_ready());
        ASSERT_EQ(run.app.model.docs.size(), 1u);
        doc = run.app.doc();
        ASSERT_EQ(doc->setup.format_code, '3');
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    int command(char a, char b) {
        ui.boxes.clear();
        return shell::execute_command(run.app, code(a, b), shell::kSourceKey);
    }
    model::Ref first_pad() {
        for (model::Ref r : model::items_in(doc->ring())) {
            if (model::node(r).item_kind() == model::kPad) {
                return r;
            }
        }
        return model::kNone;
    }

    fs::path root, board;
    SaveScript ui;
    shell::HeadlessRun run{1024, 768, {}, &ui};
    model::Document* doc = nullptr;
};

} // namespace

TEST_F(OldSave, CancelKeepsVersion38AndItsWarningDecides) {
    // Nothing lost: written as 3.8 in place without a word more, after the backup.
    doc->mark_modified();
    ui.answers = {Answer::Cancel};
    EXPECT_EQ(command('F', 'S'), 1);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "Save File Warning");
    std::string written = slurp(board);
    EXPECT_TRUE(written.starts_with("TRAZEL Version 3.8 -- DATA FILE\r\n")) << written;
    EXPECT_NE(written.find("\r\n3 0 49 1000 1000 60 60 35 1 VCC\r\n"), std::string::npos);
    EXPECT_EQ(doc->setup.format_code, '3');
    EXPECT_FALSE(doc->modified());
    EXPECT_TRUE(fs::exists(root / "bin" / "Backup" / "old.pcb"));

    // A Pad turned by 30 degrees cannot be written: the warning lists it; Cancel writes nothing.
    model::node(first_pad()).pad.angle = 5461;
    doc->mark_modified();
    ui.answers = {Answer::Cancel, Answer::Cancel};
    EXPECT_EQ(command('F', 'S'), 0);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].title, "Version 3.8 Warning");
    EXPECT_NE(ui.boxes[1].text.find("Pad angles other than 0, 90, 180 or 270 degrees, dropped: 1 Item (1)"),
              std::string::npos)
        << ui.boxes[1].text;
    EXPECT_EQ(ui.boxes[1].buttons, platform::Buttons::OkCancel);
    EXPECT_EQ(slurp(board), written);
    EXPECT_TRUE(doc->modified());

    // OK writes it.
    model::node(first_pad()).pad.x0 += 65536;
    ui.answers = {Answer::Cancel, Answer::Ok};
    EXPECT_EQ(command('F', 'S'), 1);
    EXPECT_EQ(ui.boxes.size(), 2u);
    EXPECT_NE(slurp(board).find("\r\n3 0 49 2000 1000 60 60 35 1 VCC\r\n"), std::string::npos);
    EXPECT_FALSE(doc->modified());
}

TEST_F(OldSave, OkWritesTheDataFileAndVersion2FallsBackToIt) {
    ui.answers = {Answer::Ok};
    EXPECT_EQ(command('F', 'S'), 1);
    EXPECT_TRUE(slurp(board).starts_with("TRAZEL Version 4.0 -- Data File.\r\n"));
    EXPECT_EQ(doc->setup.format_code, 'C');
    EXPECT_TRUE(ui.filters_shown.empty()) << "saved in place, without the save dialog";

    // Code "2" has no writer: the dispatcher says so and the Data file is written in place, marked "C".
    doc->setup.format_code = '2';
    ui.answers = {Answer::Cancel, Answer::Ok};
    EXPECT_EQ(command('F', 'S'), 1);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].text,
              "The specified output format is not supported.\n\nTRAZEL Version 4.0 file format will be substituted.");
    std::string data = slurp(board);
    EXPECT_TRUE(data.starts_with("TRAZEL Version 4.0 -- Data File.\r\n"));
    EXPECT_NE(data.find("\r\n-gfC\r\n"), std::string::npos);
    EXPECT_EQ(doc->setup.format_code, 'C');
}

TEST_F(OldSave, SaveAsOffersVersion38) {
    fs::path out = root / "new.pcb";
    ui.save_answers.push_back(out.string());
    ui.save_filter = 1;
    EXPECT_EQ(command('F', 'A'), 1);
    ASSERT_GE(ui.filters_shown.size(), 2u);
    EXPECT_EQ(ui.filters_shown[1], "TRAZEL V3.8 (Old DOS format)|*");
    EXPECT_TRUE(slurp(out).starts_with("TRAZEL Version 3.8 -- DATA FILE\r\n"));
    EXPECT_EQ(doc->setup.format_code, '3');
    EXPECT_TRUE(ui.boxes.empty()) << "nothing lost, nothing asked";

    // With a loss the warning comes first; Cancel leaves the file unwritten.
    model::node(first_pad()).pad.angle = 5461;
    fs::path other = root / "other.pcb";
    ui.save_answers.push_back(other.string());
    ui.answers = {Answer::Cancel};
    EXPECT_EQ(command('F', 'A'), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "Version 3.8 Warning");
    EXPECT_FALSE(fs::exists(other));
}

// The foreign writers follow the Gerber entry in their order, and each gives the name its extension.
TEST_F(OldSave, SaveAsOffersTheForeignWritersWithTheirExtensions) {
    fs::path out = root / "drawing.txt";
    ui.save_answers.push_back(out.string());
    ui.save_filter = 5;
    EXPECT_EQ(command('F', 'A'), 1);
    std::vector<std::string> want = {"Gerber Photo Plot (RS-274-D)|*.ger", "Protel AutoTrax (PCB)|*.pcb",
                                     "Tango II (PCB)|*.pcb", "AutoCad V2.5 (DXF)|*.dxf"};
    ASSERT_GE(ui.filters_shown.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(ui.filters_shown.begin() + 2, ui.filters_shown.begin() + 6), want);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(slurp(root / "drawing.dxf").starts_with("0\r\nSECTION\r\n2\r\nHEADER\r\n"));
    EXPECT_EQ(doc->setup.format_code, 'X');
    EXPECT_EQ(doc->name(), (root / "drawing.dxf").string());
}

} // namespace trazel::test
