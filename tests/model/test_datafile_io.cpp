// The shared line reader and output buffer: character rules, chunk boundaries, and safe replacement of
// files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "file_text.h"
#include "model/line_reader.h"
#include "model/out_buffer.h"
#include "platform/headless.h"

using namespace trazel::model;
namespace fs = std::filesystem;

namespace {

// Every ReadLine result: the text for lines, "<empty>" for -1.
std::vector<std::string> lines_of(LineReader& in) {
    std::vector<std::string> v;
    for (int n; (n = in.ReadLine()) != 0;) {
        v.push_back(n < 0 ? "<empty>" : std::string(in.line()));
        EXPECT_EQ(n < 0 ? 0u : static_cast<size_t>(n), in.line().size());
    }
    return v;
}

std::vector<std::string> lines_of(std::string_view text) {
    LineReader in;
    in.open_memory(text);
    return lines_of(in);
}

struct TempDir {
    fs::path dir;
    TempDir() {
        dir = fs::temp_directory_path() /
              ("trazel-io-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string file(const std::string& name) const {
        return (dir / name).string();
    }
    size_t entries() const {
        size_t n = 0;
        for ([[maybe_unused]] auto& e : fs::directory_iterator(dir)) {
            ++n;
        }
        return n;
    }
};

using test_files::slurp;

void spit(const std::string& path, const std::string& s) {
    std::ofstream f(path, std::ios::binary);
    f << s;
}

} // namespace

TEST(LineReader, LineEndsControlBytesAndTabs) {
    using V = std::vector<std::string>;
    // LF ends a line; CR LF is one end; a lone CR ends the line and the next character starts the next.
    EXPECT_EQ(lines_of("a\nb\r\nc\rd"), (V{"a", "b", "c", "d"}));
    // CR CR LF: the first CR ends "x", the second with its LF ends an empty line.
    EXPECT_EQ(lines_of("x\r\r\ny\n\n"), (V{"x", "<empty>", "y", "<empty>"}));
    EXPECT_EQ(lines_of(""), V{});
    EXPECT_EQ(lines_of("last\r"), V{"last"});
    // A zero byte reads as 0xFF; TAB goes to the next multiple of 8 columns.
    EXPECT_EQ(lines_of(std::string("n\0l", 3)), V{"n\xFFl"});
    EXPECT_EQ(lines_of("\tA\n1234567\tB\n12345678\tC"), (V{"        A", "1234567 B", "12345678        C"}));
}

TEST(LineReader, LongLinesAreCutAndTheRestFollows) {
    using V = std::vector<std::string>;
    std::string exact(LineReader::kMaxLine, 'x');
    EXPECT_EQ(lines_of(exact + "\r\nnext"), (V{exact, "next"})); // exactly the limit: not cut
    std::string longer = exact + "tail";
    EXPECT_EQ(lines_of(longer + "\n"), (V{exact, "tail"}));
    // A TAB near the limit fills to it; the characters after it start the next line.
    std::string near(LineReader::kMaxLine - 3, 'y');
    auto v = lines_of(near + "\tz\n");
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0], near + "   ");
    EXPECT_EQ(v[1], "z");
}

TEST(LineReader, FileChunksBytesAndProgress) {
    TempDir t;
    // Lines that cross the 64 KiB chunk boundary, a CR LF split across it, and raw bytes after a line.
    std::string text;
    for (int k = 0; k < 3854; ++k) {
        text += "0123456789abcdef\n"; // 17 bytes a line: 65518 bytes
    }
    text += "partial line 17ch\r\nafter\n"; // the CR is the chunk's last byte, its LF the next one's first
    std::string tail = "\x1A" + std::string(70000, '\x55') + "END";
    spit(t.file("in.txt"), text + tail);

    trazel::platform::Headless ui;
    std::vector<int> percents;
    ui.progress_sink = [&](std::string_view, int p) { percents.push_back(p); };
    trazel::platform::install(&ui);
    {
        LineReader in;
        ASSERT_TRUE(in.open_file(t.file("in.txt")));
        EXPECT_EQ(in.head().size(), LineReader::kChunk);
        EXPECT_EQ(in.remaining(), static_cast<int64_t>(text.size() + tail.size()));
        std::string last;
        int count = 0;
        for (int n; (n = in.ReadLine()) > 0;) {
            last = std::string(in.line());
            if (count == 3854) {
                EXPECT_EQ(last, "partial line 17ch");
            }
            ++count;
            if (last == "after") {
                break;
            }
        }
        EXPECT_EQ(last, "after");
        EXPECT_EQ(count, 3856);
        std::vector<char> raw(tail.size() + 10);
        EXPECT_EQ(in.peek_byte(), 0x1A);
        EXPECT_EQ(in.remaining(), static_cast<int64_t>(tail.size()));
        EXPECT_EQ(in.ReadBytes(raw.data(), raw.size()), tail.size());
        EXPECT_EQ(std::string(raw.data(), tail.size()), tail);
        EXPECT_EQ(in.ReadLine(), 0);
        EXPECT_EQ(in.peek_byte(), -1);
    }
    trazel::platform::install(nullptr);
    // Three chunks for 65543 + 70004 bytes, then the end of the bar.
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), -1);
    EXPECT_EQ(percents.size(), 4u);

    LineReader missing;
    std::string why;
    EXPECT_FALSE(missing.open_file(t.file("nope.txt"), &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(missing.open_file(t.dir.string(), &why));
    EXPECT_EQ(why, "it is a directory");
}

TEST(OutBuffer, ReplacesTheTargetOnlyWhenAllWasWritten) {
    TempDir t;
    std::string target = t.file("board.pcb");
    spit(target, "old contents");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    {
        OutBuffer out;
        ASSERT_TRUE(out.open(target));
        out.put(std::string(200000, 'n')); // more than three buffers
        EXPECT_EQ(slurp(target), "old contents");
        EXPECT_EQ(t.entries(), 2u); // the target and the temporary file beside it
        ASSERT_TRUE(out.commit());
    }
    EXPECT_EQ(slurp(target), std::string(200000, 'n'));
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(t.entries(), 1u);

    // Given up (or destroyed) before commit: the old file stays, the temporary file goes.
    {
        OutBuffer out;
        ASSERT_TRUE(out.open(target));
        out.put("new");
    }
    EXPECT_EQ(slurp(target), std::string(200000, 'n'));
    EXPECT_EQ(t.entries(), 1u);

    // The rename fails when the target became a directory meanwhile: reported, nothing left behind.
    std::string late = t.file("late.pcb");
    OutBuffer out;
    ASSERT_TRUE(out.open(late));
    out.put("data");
    fs::create_directory(late);
    spit(late + "/keep", "x");
    EXPECT_FALSE(out.commit());
    EXPECT_FALSE(out.error().empty());
    EXPECT_EQ(slurp(late + "/keep"), "x");
    EXPECT_EQ(t.entries(), 2u);

    // A write-protected target is not replaced.
    std::string locked = t.file("locked.pcb");
    spit(locked, "keep");
    fs::permissions(locked, fs::perms::owner_read);
    OutBuffer guarded;
    EXPECT_FALSE(guarded.open(locked));
    EXPECT_EQ(guarded.error(), "the file is write-protected");
    EXPECT_EQ(slurp(locked), "keep");

    // No directory to put it in, or the target is a directory: open fails with the reason.
    OutBuffer bad;
    EXPECT_FALSE(bad.open(t.file("no/such/dir.pcb")));
    EXPECT_FALSE(bad.error().empty());
    EXPECT_FALSE(bad.open(t.dir.string()));
    EXPECT_EQ(bad.error(), "it is a directory");
}

TEST(OutBuffer, MemorySink) {
    std::string sink;
    OutBuffer out;
    out.open_memory(&sink);
    for (int k = 0; k < 70000; ++k) {
        out.put(static_cast<char>('a' + k % 26));
    }
    out.put("!");
    EXPECT_TRUE(out.commit());
    ASSERT_EQ(sink.size(), 70001u);
    EXPECT_EQ(sink[65536], static_cast<char>('a' + 65536 % 26));
    EXPECT_EQ(sink.back(), '!');
}
