// The open dialog's picture of a file: a board drawn small in its own colours, nothing for files that are
// no Data file, the program left exactly as it was, and FO handing the picture maker to the dialog only
// when "Open File Name Preview" is on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/headless_run.h"
#include "shell/file_preview.h"
#include "shell/shell.h"

namespace file_preview {
namespace {

using namespace trazel;
using shell::code;
namespace fs = std::filesystem;

std::string source(const std::string& name) {
    return std::string(TRAZEL_SOURCE_DIR) + "/" + name;
}

// Pixels of exactly this 0xRRGGBB colour.
size_t count_colour(const std::vector<uint8_t>& rgb, uint32_t colour) {
    size_t n = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        uint32_t c = uint32_t{rgb[i]} << 16 | uint32_t{rgb[i + 1]} << 8 | rgb[i + 2];
        n += c == colour;
    }
    return n;
}

class FilePreview : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("trazel-preview-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        fs::remove_all(dir);
    }
    std::string write(const std::string& name, const std::string& bytes) {
        std::string p = (dir / name).string();
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    void start(const std::vector<std::string>& files) {
        ASSERT_NE(run.start(files), 0);
        ASSERT_TRUE(run.until_ready(1000));
    }

    fs::path dir;
    shell::HeadlessRun run;
};

TEST_F(FilePreview, ABoardIsDrawnInItsColoursAndTheProgramIsLeftAsItWas) {
    const std::string board = source("share/examples/demo.pcb");
    start({board});
    model::Model& m = run.app.model;
    model::Document* current = run.app.doc();
    ASSERT_NE(current, nullptr);
    m.images[5] = {1, 2, 3}; // making a Document empties the slots: the preview must not
    m.current_image = 5;
    const size_t docs = m.docs.size();
    const uint32_t nodes = m.pool.used_count();
    platform::Platform* ui = &platform::P();

    std::vector<uint8_t> rgb = shell::file_thumbnail(board, 200, 150);
    ASSERT_EQ(rgb.size(), 200u * 150u * 3u);
    // Mostly the board's background, and the red copper of the top side (layer 4) where its Items are.
    EXPECT_GT(count_colour(rgb, current->setup.background & 0xFFFFFF), rgb.size() / 3 / 2);
    EXPECT_GT(count_colour(rgb, 0xFF0000), 50u);
    EXPECT_EQ(run.app.doc(), current);
    EXPECT_EQ(m.docs.size(), docs);
    EXPECT_EQ(m.pool.used_count(), nodes); // the scratch Document's Nodes all came back
    EXPECT_EQ(m.images[5], (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(m.current_image, 5);
    EXPECT_EQ(&platform::P(), ui);
    EXPECT_TRUE(run.ui().boxes.empty());

    // An older Data file is drawn too.
    EXPECT_EQ(shell::file_thumbnail(source("tests/data/old/v3_board.pcb"), 80, 60).size(), 80u * 60u * 3u);
}

TEST_F(FilePreview, FilesThatAreNoDataFileGiveNoPicture) {
    start({});
    const size_t docs = run.app.model.docs.size();
    for (const std::string& path : {write("notes.txt", "Just some text\nof two lines\n"), write("empty.pcb", ""),
                                    write("plot.gbr", "%FSLAX24Y24*%\n%MOIN*%\nD10*\nX0Y0D02*\nX1000Y0D01*\nM02*\n"),
                                    (dir / "missing.pcb").string(), dir.string()}) {
        EXPECT_TRUE(shell::file_thumbnail(path, 200, 150).empty()) << path;
    }
    // A good board at a size that cannot be drawn.
    EXPECT_TRUE(shell::file_thumbnail(source("share/examples/demo.pcb"), 0, 150).empty());
    EXPECT_EQ(run.app.model.docs.size(), docs);
    EXPECT_TRUE(run.ui().boxes.empty()) << "a preview asked the user something";
}

TEST_F(FilePreview, OpenHandsThePictureMakerToTheDialogOnlyWhenTheSettingIsOn) {
    const std::string board = source("share/examples/demo.pcb");
    const std::string notes = write("notes.txt", "plain text\n");
    start({});
    shell::Options& o = run.app.shell.options;
    o.explorer_open = true;
    o.open_preview = true;
    platform::Headless& ui = run.ui();
    ui.open_answers.push_back({board});
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'O'), shell::kSourceKey), 1);
    ASSERT_EQ(ui.previews.size(), 1u);
    EXPECT_EQ(ui.previews[0].path, board);
    EXPECT_EQ(ui.previews[0].rgb.size(),
              static_cast<size_t>(platform::kFilePreviewWidth * platform::kFilePreviewHeight * 3));
    EXPECT_GT(count_colour(ui.previews[0].rgb, 0xFF0000), 0u);
    ASSERT_NE(run.app.doc(), nullptr);
    EXPECT_EQ(run.app.doc()->name(), board); // the preview did not take the place of the opened file

    ui.open_answers.push_back({notes});
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'O'), shell::kSourceKey), 1);
    ASSERT_EQ(ui.previews.size(), 2u);
    EXPECT_TRUE(ui.previews[1].rgb.empty());

    o.open_preview = false;
    ui.open_answers.push_back({source("share/examples/demo.sch")});
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'O'), shell::kSourceKey), 1);
    EXPECT_EQ(ui.previews.size(), 2u);
}

} // namespace
} // namespace file_preview
