// Pictures on disk: the BMP encoder and the batch tool's render verb.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "display/bmp_writer.h"

namespace trazel::display {
namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

TEST(DrawBmp, HeaderRowsAndPadding) {
    // Two pixels over two rows: each row 6 bytes padded to 8, bottom row first, stored B G R.
    std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    std::vector<uint8_t> f = encode_bmp(2, 2, rgb);
    ASSERT_EQ(f.size(), 54u + 16u);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(le32(f, 2), 70u);  // file size
    EXPECT_EQ(le32(f, 10), 54u); // pixel data offset
    EXPECT_EQ(le32(f, 14), 40u);
    EXPECT_EQ(le32(f, 18), 2u);
    EXPECT_EQ(le32(f, 22), 2u);
    EXPECT_EQ(f[28], 24);
    EXPECT_EQ(le32(f, 34), 16u);
    std::vector<uint8_t> rows(f.begin() + 54, f.end());
    EXPECT_EQ(rows, std::vector<uint8_t>({9, 8, 7, 12, 11, 10, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0}));
    EXPECT_TRUE(encode_bmp(2, 2, std::vector<uint8_t>(11)).empty());
    EXPECT_TRUE(encode_bmp(0, 2, {}).empty());
}

TEST(DrawBmp, FailedWriteLeavesTheOldFile) {
    auto dir = std::filesystem::temp_directory_path() / ("trazel_bmp_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string path = (dir / "old.bmp").string();
    { std::ofstream(path) << "old"; }
    std::string why;
    EXPECT_FALSE(write_bmp(path, 3, 3, std::vector<uint8_t>(5), &why));
    EXPECT_FALSE(why.empty());
    std::ifstream in(path);
    std::string s;
    in >> s;
    EXPECT_EQ(s, "old");
    EXPECT_TRUE(write_bmp((dir / "new.bmp").string(), 1, 1, {255, 0, 0}));
    EXPECT_EQ(std::filesystem::file_size(dir / "new.bmp"), 58u);
    std::filesystem::remove_all(dir);
}

// Runs the batch tool; the exit status, with stderr in `err`.
int cli(const std::string& args, std::string* err = nullptr) {
    std::string log = (std::filesystem::temp_directory_path() / ("trazel_render_err_" + std::to_string(::getpid()) + ".txt")).string();
    int rc = std::system((std::string(TRAZEL_CLI) + " " + args + " 2>" + log).c_str());
    if (err) {
        std::ifstream in(log);
        err->assign(std::istreambuf_iterator<char>(in), {});
    }
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

class DrawCli : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string err;
        if (cli("render", &err) != 2 || err.find("usage: trazel-cli render") == std::string::npos) {
            GTEST_SKIP() << "this build's trazel-cli has no render verb";
        }
        dir = std::filesystem::temp_directory_path() / ("trazel_render_test_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
    }
    std::vector<uint8_t> bytes(const std::string& name) {
        std::ifstream in(dir / name, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    std::string p(const std::string& name) {
        return (dir / name).string();
    }
    std::filesystem::path dir;
    std::string board = std::string(TRAZEL_SOURCE_DIR) + "/share/examples/demo.pcb";
};

TEST_F(DrawCli, WritesPngAndBmpOfTheRequestedSize) {
    ASSERT_EQ(cli("render " + board + " " + p("a.png") + " --size 320x200 --depth 8 --grid"), 0);
    std::vector<uint8_t> png = bytes("a.png");
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
    // IHDR: width and height big-endian at bytes 16 and 20; the status bar adds 22 rows.
    auto be32 = [&](size_t at) {
        return (uint32_t{png[at]} << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
    };
    EXPECT_EQ(be32(16), 320u);
    EXPECT_EQ(be32(20), 200u);
    ASSERT_EQ(cli("render " + board + " " + p("b.PNG") + " --size 320x200 --status-bar --view 0,0,1,1"), 0);
    png = bytes("b.PNG");
    EXPECT_EQ(be32(20), 222u);
    ASSERT_EQ(cli("render " + board + " " + p("c.bmp") + " --size 30x20 --depth 16 --view 1,1 --scale 300 --layer 2"),
              0);
    EXPECT_EQ(bytes("c.bmp").size(), 54u + 20u * 92u); // rows of 90 bytes padded to 92
}

TEST_F(DrawCli, BadArgumentsAndInputs) {
    std::string err;
    EXPECT_EQ(cli("render " + board + " " + p("x.gif"), &err), 2);
    EXPECT_EQ(cli("render " + board + " " + p("x.png") + " --depth 12", &err), 2);
    EXPECT_EQ(cli("render " + board + " " + p("x.png") + " --size 0x10", &err), 2);
    EXPECT_EQ(cli("render " + board + " " + p("x.png") + " --view 1,2", &err), 2); // a point needs --scale
    EXPECT_EQ(cli("render " + board + " " + p("x.png") + " --view 1,2,3", &err), 2);
    EXPECT_EQ(cli("render " + board + " " + p("x.png") + " --layer 300", &err), 2);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
    // A file that cannot be read: one line on stderr, status 1, and the old picture stays.
    { std::ofstream(p("keep.png")) << "old"; }
    EXPECT_EQ(cli("render " + p("missing.pcb") + " " + p("keep.png"), &err), 1);
    EXPECT_NE(err.find("missing.pcb"), std::string::npos);
    EXPECT_EQ(bytes("keep.png").size(), 3u);
}

} // namespace
} // namespace trazel::display
