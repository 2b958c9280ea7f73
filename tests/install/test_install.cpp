// The installed program: `cmake --install` of this build tree into a scratch prefix, then the installed
// batch tool run from elsewhere (it must find its templates and libraries in the installed tree), and
// the desktop integration files checked by the desktop's own tools.  A check whose tool is missing skips.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli/cli_runner.h"

namespace {

namespace fs = std::filesystem;
using cli_test::quote;
using cli_test::slurp;
using cli_test::spit;
using namespace std::string_literals;

constexpr const char* kDataFileLine = "TRAZEL Version 4.0 -- Data File.\r\n";

struct Shell {
    int status = -1;
    std::string out; // stdout and stderr together
};

Shell sh(const std::string& cmd, const fs::path& scratch) {
    fs::path out = scratch / ".out";
    int rc = std::system(("(" + cmd + ") >" + quote(out.string()) + " 2>&1 </dev/null").c_str());
    Shell r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = slurp(out);
    fs::remove(out);
    return r;
}

bool have(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// The width in a PNG's IHDR, or 0 when the file is no PNG.
unsigned png_width(const fs::path& p) {
    std::string s = slurp(p);
    if (s.size() < 24 || s.compare(0, 8, "\x89PNG\r\n\x1A\n", 8) != 0 || s.compare(12, 4, "IHDR") != 0) {
        return 0;
    }
    unsigned w = 0;
    for (int i = 16; i < 20; ++i) {
        w = (w << 8) | static_cast<unsigned char>(s[static_cast<size_t>(i)]);
    }
    return w;
}

// One install for the whole suite: it is the slow part.
class Installed : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        char tmpl[] = "/tmp/trazel-install-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        prefix_ = root_ / "p";
        Shell r = sh(quote(TRAZEL_CMAKE) + " --install " + quote(TRAZEL_BUILD_DIR) + " --prefix " +
                         quote(prefix_.string()),
                     root_);
        install_status_ = r.status;
        install_log_ = r.out;
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    void SetUp() override {
        ASSERT_EQ(install_status_, 0) << install_log_;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = root_ / info->name();
        fs::create_directories(dir_ / "config");
    }

    // Runs `args` from a directory of its own, with settings of its own, so nothing of the build tree
    // or the user's configuration can stand in for the installed tree.
    Shell run(const std::string& program, const std::string& args, const std::string& env = "") {
        return sh("cd " + quote(dir_.string()) + " && env " + env + " TRAZEL_CONFIG_DIR=" +
                      quote((dir_ / "config").string()) + " XDG_CONFIG_HOME=" + quote((dir_ / "config").string()) +
                      " " + quote(program) + " " + args,
                  dir_);
    }

    static fs::path share() {
        return prefix_ / "share";
    }

    static inline fs::path root_, prefix_;
    static inline int install_status_ = -1;
    static inline std::string install_log_;
    fs::path dir_;
};

TEST_F(Installed, EveryPartLandsWhereTheDesktopLooks) {
    EXPECT_TRUE(fs::is_regular_file(prefix_ / "bin" / "trazel-cli"));
    for (const char* f : {"TEMPLATE/Size_A4.sch", "TEMPLATE/Size_2x3in.pcb", "LIBRARY/THD.LIB", "examples/demo.pcb"}) {
        EXPECT_TRUE(fs::is_regular_file(share() / "trazel" / f)) << f;
    }
    EXPECT_FALSE(fs::exists(share() / "trazel" / "examples" / "run-demo.sh")) << "a build-tree script";
    EXPECT_EQ(slurp(share() / "mime" / "packages" / "trazel.xml"), slurp(cli_test::source("packaging/trazel.xml")));
    EXPECT_TRUE(fs::is_regular_file(share() / "applications" / "trazel.desktop"));
    // Debian keeps a package's copyright and changelog beside its other documentation.
    EXPECT_EQ(slurp(share() / "doc" / "trazel" / "copyright"), slurp(cli_test::source("packaging/copyright")));
    EXPECT_TRUE(fs::is_regular_file(share() / "doc" / "trazel" / "changelog.gz"));
    for (unsigned n : {16u, 32u, 48u, 64u, 128u, 256u}) {
        std::string size = std::to_string(n) + "x" + std::to_string(n);
        EXPECT_EQ(png_width(share() / "icons" / "hicolor" / size / "apps" / "trazel.png"), n) << size;
    }
    for (const char* page : {"trazel.1.gz", "trazel-cli.1.gz"}) {
        fs::path p = share() / "man" / "man1" / page;
        ASSERT_TRUE(fs::is_regular_file(p)) << page;
        EXPECT_EQ(slurp(p).substr(0, 2), "\x1F\x8B") << page << " is gzipped";
    }
}

TEST_F(Installed, TheInstalledToolSaysItsVersion) {
    Shell r = run((prefix_ / "bin" / "trazel-cli").string(), "--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("trazel ") + TRAZEL_VERSION + "\n");
    fs::path gui = prefix_ / "bin" / "trazel";
    if (fs::exists(gui)) {
        // Before any window: no display is needed.
        r = run(gui.string(), "--version", "-u DISPLAY -u WAYLAND_DISPLAY");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, std::string("trazel ") + TRAZEL_VERSION + "\n");
    }
}

// File New takes the installed template; the new sheet is drawn.  Then the same with the program
// moved away from its data, found through $XDG_DATA_DIRS instead.
TEST_F(Installed, ANewSheetFromAnInstalledTemplate) {
    const std::string make_sheet = quote((share() / "trazel" / "examples" / "demo.pcb").string()) +
                                   " sheet.sch --keys '<FW>' --field FileNewBox.kind=1"
                                   " --field FileTemplateBox.template=A4";
    std::string cli = (prefix_ / "bin" / "trazel-cli").string();
    Shell r = run(cli, "macro " + make_sheet, "XDG_DATA_DIRS=/nonexistent");
    ASSERT_EQ(r.status, 0) << r.out;
    std::string sheet = slurp(dir_ / "sheet.sch");
    EXPECT_EQ(sheet.rfind(kDataFileLine, 0), 0u);
    EXPECT_NE(sheet.find("\r\n-gp6,0,1.0,0,0,11.69292,8.26772,1\r\n"), std::string::npos) << "A4 landscape";

    r = run(cli, "render sheet.sch sheet.png --size 320x240");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(png_width(dir_ / "sheet.png"), 320u);

    r = run(cli, "library THD.LIB");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(" *** THD.LIB"), std::string::npos) << r.out;

    fs::create_directories(dir_ / "elsewhere");
    fs::copy_file(cli, dir_ / "elsewhere" / "trazel-cli");
    fs::remove(dir_ / "sheet.sch");
    r = run((dir_ / "elsewhere" / "trazel-cli").string(), "macro " + make_sheet,
            "XDG_DATA_DIRS=" + quote("/nonexistent:relative/share:" + share().string()));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(slurp(dir_ / "sheet.sch"), sheet);
}

TEST_F(Installed, TheDesktopEntryValidates) {
    if (!have("desktop-file-validate")) {
        GTEST_SKIP() << "desktop-file-validate is not installed (desktop-file-utils)";
    }
    fs::path entry = share() / "applications" / "trazel.desktop";
    Shell r = sh("desktop-file-validate " + quote(entry.string()), dir_);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "") << "hints and warnings count too";
    std::string text = slurp(entry);
    EXPECT_NE(text.find("\nExec=trazel %F\n"), std::string::npos);
    // Every type the MIME file defines is offered to the desktop program.
    std::string xml = slurp(share() / "mime" / "packages" / "trazel.xml");
    int types = 0;
    for (size_t at = xml.find("<mime-type type=\""); at != std::string::npos;
         at = xml.find("<mime-type type=\"", at + 1)) {
        size_t from = at + 17;
        std::string type = xml.substr(from, xml.find('"', from) - from);
        EXPECT_NE(text.find(type + ";"), std::string::npos) << type;
        ++types;
    }
    EXPECT_EQ(types, 10) << "the nine registered types and the Data file";
}

// The MIME database built from our file alone knows a Data file by its first line, whatever its name,
// and by its extension the kind it is.
TEST_F(Installed, TheMimeDatabaseKnowsADataFileByItsFirstLine) {
    if (have("xmllint")) {
        Shell r = sh("xmllint --noout " + quote((share() / "mime/packages/trazel.xml").string()), dir_);
        EXPECT_EQ(r.status, 0) << r.out;
    }
    if (!have("update-mime-database")) {
        GTEST_SKIP() << "update-mime-database is not installed (shared-mime-info)";
    }
    fs::path db = dir_ / "data" / "mime";
    fs::create_directories(db / "packages");
    fs::copy_file(share() / "mime" / "packages" / "trazel.xml", db / "packages" / "trazel.xml");
    // With the common types beside ours, *.dwg is claimed twice and only the first line can settle it.
    const fs::path common = "/usr/share/mime/packages/freedesktop.org.xml";
    const bool with_common = fs::exists(common);
    if (with_common) {
        fs::copy_file(common, db / "packages" / "freedesktop.org.xml");
    }
    Shell r = sh("update-mime-database " + quote(db.string()), dir_);
    ASSERT_EQ(r.status, 0) << r.out;
    // The compiled magic holds the first line at offset 0 for the Data file type.
    std::string magic = slurp(db / "magic");
    EXPECT_NE(magic.find("[60:application/x-trazel-data]\n>0=\x00\x11TRAZEL Version 4.\n"s), std::string::npos);

    std::string query;
    if (have("gio")) {
        query = "gio info -a standard::content-type ";
    } else if (have("xdg-mime")) {
        query = "xdg-mime query filetype ";
    } else {
        GTEST_SKIP() << "neither gio nor xdg-mime is installed to ask the database";
    }
    spit(dir_ / "noname", std::string(kDataFileLine) + "-gd0,FFFFFF,909090,FFFFFF,FFFF00\r\n");
    spit(dir_ / "board.pcb", std::string(kDataFileLine));
    spit(dir_ / "sheet.dwg", std::string(kDataFileLine));
    spit(dir_ / "netlist.txt", "TRAZEL Version 3.8\r\n");
    const std::string env = "env XDG_DATA_HOME=" + quote((dir_ / "data").string()) + " XDG_DATA_DIRS=" +
                            quote((dir_ / "data").string()) + " ";
    auto type_of = [&](const char* name) {
        std::string out = sh(env + query + quote((dir_ / name).string()), dir_).out;
        size_t at = out.find("application/");
        return at == std::string::npos ? out : out.substr(at, out.find_first_of(" \n", at) - at);
    };
    EXPECT_EQ(type_of("noname"), "application/x-trazel-data");
    EXPECT_EQ(type_of("board.pcb"), "application/x-trazel-board");
    EXPECT_EQ(type_of("sheet.dwg"), "application/x-trazel-sheet") << (with_common ? "the first line settles *.dwg" : "");
    EXPECT_NE(type_of("netlist.txt"), "application/x-trazel-data") << "only version 4 is claimed";
}

} // namespace
