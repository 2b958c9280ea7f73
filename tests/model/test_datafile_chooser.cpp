// The import chooser's rows and forced codes, the export dispatcher, the text views and the pixel image
// blocks at the end of a Data file.
#include <cstring>

#include "datafile_fixture.h"
#include "model/setup_directives.h"
#include "model/text_readers.h"

using namespace datafile_test;
using trazel::platform::Sound;

namespace {

std::string texts_of(Ref head) {
    std::string s;
    for_each_item(head, [&](Ref r) {
        if (node(r).item_kind() == kText) {
            s += GetText(r) + "|";
        }
    });
    return s;
}

bool accept_all(std::string_view, char) {
    return true;
}
char read_marker(LineReader&, char) {
    return 'Q';
}
bool accept_q(std::string_view head, char) {
    return head.substr(0, 1) == "Q";
}
char read_marker2(LineReader&, char) {
    return 'R';
}
bool write_nothing(OutBuffer& out) {
    out.put("nothing\r\n");
    return true;
}

// A pixel block header: "PIX98a", row length, height and bits per pixel as 32-bit little-endian values.
std::string pixel_block(uint32_t row, uint32_t height, uint32_t bpp, size_t data, char fill) {
    std::string b(kPixelHeaderBytes, '\0');
    std::memcpy(b.data(), "PIX98a", 6);
    auto put = [&](int at, uint32_t v) {
        for (int k = 0; k < 4; ++k) {
            b[at + k] = static_cast<char>(v >> (8 * k));
        }
    };
    put(8, row);
    put(16, height);
    put(24, bpp);
    return b + std::string(data, fill);
}

} // namespace

TEST_F(DataFileTest, ChooserRowsAndForcedCodes) {
    std::string board = data_file("1 3 .01 0 0 1 1\r\n");
    EXPECT_EQ(read(board), 'C');
    EXPECT_EQ(items(ring()).size(), 1u);
    // The chooser's defaults reset what a reader does not set: the screen colours and the origin.
    EXPECT_EQ(d->setup.background, 0x909090u);
    // Plain text when the first 1024 bytes are text, a byte dump otherwise, and either when forced.
    EXPECT_EQ(read("Hello\r\n"), 'Z');
    EXPECT_EQ(texts_of(ring()), "Hello|");
    EXPECT_EQ(read(std::string("bin\0ary", 7)), 'Z');
    // Seven bytes end at column 29; the characters start at column 60.
    EXPECT_EQ(texts_of(ring()), "00000000  62 69 6E 00 61 72 79" + std::string(30, ' ') + "bin.ary|");
    EXPECT_EQ(read(std::string("bin\0ary", 7), 'Z'), 'Z');
    EXPECT_EQ(texts_of(ring()), "bin\xFF"
                                "ary|");
    // The hex-dump filter's code: every reader but the byte dump declines, the Data file reader too.
    EXPECT_EQ(read(board, kForcedHexDump), 'Z');
    EXPECT_EQ(items(ring()).size(), 4u); // 51 bytes: four lines
    // A forced code no row knows ends at the byte dump as well.
    EXPECT_EQ(read("Hello\r\n", 'G'), 'Z');
    EXPECT_EQ(texts_of(ring()), "00000000  48 65 6C 6C 6F 0D 0A" + std::string(30, ' ') + "Hello..|");

    // Text: printable bytes, TAB, CR, LF, form feed, 0x1A and code-page bytes; a control byte after the
    // first 1024 does not count.
    EXPECT_TRUE(looks_like_text("a\tb\r\n\f\x1A\xE6\xFF"));
    EXPECT_FALSE(looks_like_text("a\x01"));
    EXPECT_FALSE(looks_like_text("a\x7F"));
    EXPECT_TRUE(looks_like_text(std::string(1024, 'a') + '\x01'));

    // A file that cannot be read: code 0 and the reason.
    std::string why;
    EXPECT_EQ(OpenDocumentFile(formats, "/nonexistent/dir/file.pcb", 0, &why), 0);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(open_document_bytes(formats, "", 0), 0);
}

TEST_F(DataFileTest, RegisteredRowsKeepTheFixedOrder) {
    // A later row (11) that takes everything sits between the older data files (2, 3) and plain text (21).
    EXPECT_TRUE(register_reader(formats, kOrderGerber, "everything", accept_all, read_marker));
    EXPECT_TRUE(register_reader(formats, kOrderGerber, "Q files", accept_q, read_marker2));
    EXPECT_FALSE(register_reader(formats, 24, "past the end", accept_all, read_marker));
    EXPECT_FALSE(register_reader(formats, kOrderGerber, "no reader", accept_all, nullptr));
    ASSERT_EQ(formats.readers.size(), 7u);
    std::vector<int> orders;
    for (auto& r : formats.readers) {
        orders.push_back(r.order);
    }
    EXPECT_EQ(orders, (std::vector<int>{1, 2, 3, 11, 11, 21, 23}));
    EXPECT_EQ(formats.readers[3].name, "everything"); // rows of one order in the order registered
    EXPECT_EQ(read(data_file("")), 'C');
    EXPECT_EQ(read("Q text"), 'Q');
    EXPECT_EQ(read("plain"), 'Q');
}

TEST_F(DataFileTest, ExportDispatcher) {
    Ref t = MakeItem(ring(), kText, 1, 3146, 0, 0, 0, 0);
    SetText(t, "top level   ");
    Ref c = make_component(ring(), 0, 0, "P\x7FU1");
    SetText(MakeItem(member_ring(c), kText, 1, 3146, 0, 0, 0, 0), "member");
    Ref hidden = MakeItem(ring(), kText, 1, 3146, 0, 0, 0, 0);
    SetText(hidden, "hidden");
    node(hidden).kind |= kHiddenFlag;
    // "Z": the text of every top-level Text, one line each, trailing blanks removed.
    EXPECT_EQ(write('Z'), "top level\r\n");
    EXPECT_TRUE(ui.boxes.empty());
    // A code without a writer: the user is told, and the Data file is written instead.
    std::string g = write('G');
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "TRAZEL'98");
    EXPECT_EQ(ui.boxes[0].text,
              "The specified output format is not supported.\n\nTRAZEL Version 4.0 file format will be substituted.");
    EXPECT_EQ(g.substr(0, 32), "TRAZEL Version 4.0 -- Data File.");
    // Code 0 is the Document's own code; a new Document has none yet and is a Data file.
    EXPECT_EQ(write(0), g);
    EXPECT_EQ(ui.boxes.size(), 1u);
    d->setup.format_code = 'Z';
    EXPECT_EQ(write(0), "top level\r\n");
    // A registered writer takes its code.
    register_writer(formats, 'G', write_nothing);
    EXPECT_EQ(write('G'), "nothing\r\n");
    EXPECT_FALSE(register_writer(formats, 0, write_nothing));

    // Saving a file imported from an older format asks first; OK makes it a version 4 file.
    d->setup.format_code = '3';
    ui.answers.push_back(trazel::platform::Answer::Cancel);
    EXPECT_FALSE(confirm_old_format_save(*d));
    EXPECT_EQ(d->setup.format_code, '3');
    EXPECT_TRUE(confirm_old_format_save(*d));
    EXPECT_EQ(d->setup.format_code, 'C');
    EXPECT_EQ(ui.boxes.back().title, "Save File Warning");
    EXPECT_EQ(ui.boxes.back().text, "This file was imported from an old DOS TRAZEL format.\n\n"
                                    "Would you like to save it as a version 4 file?");
    size_t shown = ui.boxes.size();
    EXPECT_TRUE(confirm_old_format_save(*d));
    EXPECT_EQ(ui.boxes.size(), shown);
}

TEST_F(DataFileTest, TextViewsLayoutAndRoundTrip) {
    // Lines at y = -(n x 65536 + 500) / 1000: 0, -66, -131 units; 42 units high and 42 per character.
    EXPECT_EQ(read("one\r\n\r\n  three  \tx\n"), 'Z');
    auto v = items(ring());
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(GetText(v[0]), "one");
    EXPECT_EQ(GetText(v[1]), "  three         x"); // the TAB at column 9 goes to column 16
    EXPECT_EQ(node(v[0]).text.y0, 0);
    EXPECT_EQ(node(v[1]).text.y0, -131);
    EXPECT_EQ(node(v[1]).size, 42);
    EXPECT_EQ(node(v[1]).text.length, 42 * 17);
    EXPECT_EQ(node(v[1]).layer, 0);
    EXPECT_STREQ(d->setup.layers[0].name, "TXT");
    // Written as text again, the empty line between them comes back.
    EXPECT_EQ(write('Z'), "one\r\n\r\n  three         x\r\n");
    // A text view survives a trip through the Data file as well; its "-gf" line keeps the code "Z".
    std::string data = write('C');
    EXPECT_EQ(read(data), 'Z');
    EXPECT_EQ(write('Z'), "one\r\n\r\n  three         x\r\n");

    // The byte dump: 16 bytes a line in two groups of eight, then the printable characters.
    std::string bytes;
    for (int k = 0; k < 18; ++k) {
        bytes.push_back(static_cast<char>(k == 17 ? 'A' : k));
    }
    EXPECT_EQ(read(bytes), 'Z');
    EXPECT_EQ(texts_of(ring()), "00000000  00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F  ................|"
                                "00000010  10 41" +
                                    std::string(45, ' ') + ".A|");
    EXPECT_EQ(node(items(ring())[1]).text.y0, -66);
}

TEST_F(DataFileTest, PixelImageBlocksAfterTheEndMarker) {
    // Two blocks: 3 x 2 pixels of 8 bits (6 bytes) and 5 x 1 pixels of 1 bit (5 bits, one byte).
    std::string body = "1 3 .01 0 0 1 1\r\n\r\nEND OF FILE\r\n\r\nPixel image follows EOF\r\n\x1A" +
                       pixel_block(3, 2, 8, 6, 'p') + pixel_block(5, 1, 1, 1, 'q');
    read(data_file(body));
    EXPECT_EQ(items(ring()).size(), 1u);
    EXPECT_EQ(m.images[0].size(), kPixelHeaderBytes + 6);
    EXPECT_EQ(m.images[1].size(), kPixelHeaderBytes + 1);
    EXPECT_TRUE(m.images[2].empty());
    std::string first = write();
    size_t at = first.find("END OF FILE\r\n\r\nPixel image follows EOF\r\n\x1A"
                           "PIX98a");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(first.substr(first.size() - 1), "q");
    read(first);
    EXPECT_EQ(write(), first);
    EXPECT_TRUE(ui.sounds.empty());

    // A header that claims 4 GB (65536 x 65536 x 8 bits) with a few bytes behind it: nothing is
    // allocated, the error sound plays, and the Items read so far stay.
    read(data_file("1 3 .01 0 0 1 1\r\nPixel image follows EOF\r\n\x1A" + pixel_block(65536, 65536, 8, 10, 'x')));
    EXPECT_TRUE(m.images[0].empty());
    EXPECT_EQ(items(ring()).size(), 1u);
    ASSERT_EQ(ui.sounds.size(), 1u);
    EXPECT_EQ(ui.sounds[0], Sound::Error);
    // Bits per pixel other than 1, 4, 8, 16, 24 or 32: not valid.
    read(data_file("Pixel image follows EOF\r\n\x1A" + pixel_block(1, 1, 7, 1, 'x')));
    EXPECT_TRUE(m.images[0].empty());
    EXPECT_EQ(ui.sounds.size(), 2u);
    // A valid block followed by one cut short: the first is kept, no sound for the second.
    read(data_file("Pixel image follows EOF\r\n\x1A" + pixel_block(2, 2, 8, 4, 'a') + pixel_block(2, 2, 8, 3, 'b')));
    EXPECT_EQ(m.images[0].size(), kPixelHeaderBytes + 4);
    EXPECT_TRUE(m.images[1].empty());
    EXPECT_EQ(ui.sounds.size(), 2u);
    // Without the 0x1A byte the marker line is only a line.
    read(data_file("Pixel image follows EOF\r\n" + pixel_block(2, 2, 8, 4, 'a') + "\r\n1 3 .01 0 0 1 1\r\n"));
    EXPECT_TRUE(m.images[0].empty());
    EXPECT_EQ(items(ring()).size(), 1u);
    EXPECT_EQ(PixelDataBytes(reinterpret_cast<const unsigned char*>(pixel_block(7, 3, 24, 0, 0).data())), 63);
}
