// The netlist text on a hand-built board with hand-worked lines (both layouts, the node rules, the
// column padding and break, the "$" rule, long names), the Reference ID check, and the per-Signal lists
// against the plain walks on generated boards.
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "nets/naming.h"
#include "nets/net_board.h"
#include "nets/netlist_out.h"

namespace {

using namespace nets_test;

std::string fields(std::initializer_list<const char*> f) {
    std::string out;
    bool first = true;
    for (const char* s : f) {
        out += first ? "" : "\x7F";
        out += s;
        first = false;
    }
    return out;
}

std::string lines(std::initializer_list<std::string> l) {
    std::string out;
    for (const std::string& s : l) {
        out += s + "\r\n";
    }
    return out;
}

struct Netlist : NetBoard {
    Coord next_x = 0;
    // A Component with one round through-hole pad per (pin, Signal); "" for none.
    Ref part(const std::string& params, const std::vector<std::pair<std::string, std::string>>& pads) {
        Ref c = model::make_component(ring(), 0, 0, params);
        Ref m = model::member_ring(c);
        Coord x = next_x;
        next_x += 2 * kInch;
        for (const auto& [pin, sig] : pads) {
            Ref p = edit_test::make_pad(m, 0, x, 0, 4000, 4000, kOvalThru);
            x += 8000;
            model::SetPin(p, pin);
            if (!sig.empty()) {
                model::AttachSignal(p, sig);
            }
        }
        model::close_component(c);
        return c;
    }
    std::string text(bool bracketed, bool single_node, bool plain = false) {
        nets::NetlistOptions o;
        o.bracketed = bracketed;
        o.single_node = single_node;
        o.plain = plain;
        return nets::netlist_text(*d, o, day_in_march_2024(5));
    }

    // Walk order differs from every sort order on purpose.
    void hand_board() {
        part(fields({"DIP14", "U10", "7400"}), {{"1", "A"}, {"2", "$10002"}});
        part(fields({"DIP14", "U2", "7400", "", "DIP14W"}), {{"2", "$10002"}, {"3", "A"}});
        part(fields({"DIP8", "U1a", "LM358", "SMD"}), {{"3", "A"}, {"9", "$10001"}});
        part(fields({"DIP8", "U1u", "LM358"}), {{"2", "ABCDEFGHIJKLMNO"}});
        part(fields({"CON", "J1-2", "HDR"}), {{"", "A"}});
        part(fields({"", "U5", "10K"}), {{"", "B"}});
        std::vector<std::pair<std::string, std::string>> bus;
        for (int i = 1; i <= 10; ++i) {
            bus.push_back({std::to_string(i), "BUS"});
        }
        part(fields({"SIP10", "U7", "BUS"}), bus);
        std::vector<std::pair<std::string, std::string>> p;
        for (int i = 1; i <= 6; ++i) {
            p.push_back({std::to_string(i), "P"});
        }
        part(fields({"HDR6", "J1", "X"}), p);
        part(fields({"CONN", "J123", "Y", "MOD", "CONN-B"}), {{"ABCDEF", "P"}, {"X", "P"}, {"Y", "P"}});
        part(fields({"TO92", "Q1", "BC547"}), {{"ABCDEF", "$10003"}, {"ABCDEFG", "$10004"}});
        part("$GND", {{"1", "GND"}}); // a symbol: no Reference ID, left out with its node
    }
};

const std::string kPartsHeader =
    "--- NAME ---    -------------------------------------------- PARAMETERS ---------------------------------------------";
const std::string kNodesHeader = "--- NAME ---    ---------------------------- NODES ----------------------------";

TEST_F(Netlist, ColumnLayoutByHand) {
    hand_board();
    std::string expect = lines({
        // The title: name centred between the title and the date at column 109.
        "PCB PARTS LIST" + std::string(43, ' ') + "nets.pcb" + std::string(44, ' ') + "03/05/24",
        "",
        kPartsHeader,
        "",
        "",
        // Plain text order (U10 before U1a before U2), cut at the first "-"; no pattern, no line (U5).
        "J1              ?                         X                                                   HDR6",
        "J1              ?                         HDR                                                 CON",
        "J123            CONN-B                    Y                         MOD                       CONN",
        "Q1              ?                         BC547                                               TO92",
        "U10             ?                         7400                                                DIP14",
        "U1a             ?                         LM358                     SMD                       DIP8",
        "U1u             ?                         LM358                                               DIP8",
        "U2              DIP14W                    7400                                                DIP14",
        "U7              ?                         BUS                                                 SIP10",
        "\fPCB SIGNALS NET LIST" + std::string(22, ' ') + "nets.pcb" + std::string(22, ' ') + "03/05/24",
        "",
        kNodesHeader,
        "",
        "",
        // "$10001": one short node, left out.  "$10002": nodes in the parts list's order (U10 before U2).
        "$10002          U10-2   U2-2",
        "",
        // "$10003": "Q1-ABCDEF" ends at column 24, left out; "$10004" reaches column 25.
        "$10004          Q1-ABCDEFG",
        "",
        // A pad without pin in "J1-2" is the Reference ID alone; U1a's gate letter goes.
        "A               J1-2    U10-1   U1-3    U2-3",
        "",
        // Fifteen characters: the bracketed net form; "u" is no gate letter.
        "(",
        "ABCDEFGHIJKLMNO",
        "U1u-2",
        ")",
        "",
        "B               U5-0",
        "",
        // Eight nodes reach column 80: the ninth starts a new line indented 16.
        "BUS             U7-1    U7-2    U7-3    U7-4    U7-5    U7-6    U7-7    U7-8",
        "                U7-9    U7-10",
        "",
        // Four blanks to the next multiple of 8 are not filled: the node after J123-ABCDEF starts at 76,
        // still on the line; the one after that would start at 83.
        "P               J1-1    J1-2    J1-3    J1-4    J1-5    J1-6    J123-ABCDEF J123-X",
        "                J123-Y",
        "",
        "",
        "END OF FILE",
    });
    EXPECT_EQ(text(false, false), expect);
    EXPECT_EQ(text(false, false, true), expect);

    // With single nodes the short generated nets come in.
    std::string single = text(false, true);
    EXPECT_NE(single.find("\r\n$10001          U1-9\r\n\r\n$10002          U10-2   U2-2\r\n\r\n"
                          "$10003          Q1-ABCDEF\r\n\r\n$10004"),
              std::string::npos)
        << single;
    EXPECT_EQ(text(false, true, true), single);
}

TEST_F(Netlist, BracketedLayoutByHand) {
    hand_board();
    auto component = [](const std::string& ref, const std::string& pattern, const std::string& value) {
        return lines({"[", ref, pattern, value, "", "", "", "]"});
    };
    std::string parts = component("J1", "HDR6", "X") + component("J1", "CON", "HDR") +
                        component("J123", "CONN-B", "Y") + component("Q1", "TO92", "BC547") +
                        component("U10", "DIP14", "7400") + component("U1a", "DIP8", "LM358") +
                        component("U1u", "DIP8", "LM358") + component("U2", "DIP14W", "7400") +
                        component("U7", "SIP10", "BUS");
    std::string nets = lines({"(", "$10002", "U10-2", "U2-2", ")", "(", "A", "J1-2", "U10-1", "U1-3", "U2-3", ")", "(",
                              "ABCDEFGHIJKLMNO", "U1u-2", ")", "(", "B", "U5-0", ")", "(", "BUS"});
    for (int i = 1; i <= 10; ++i) {
        nets += "U7-" + std::to_string(i) + "\r\n";
    }
    nets += lines({")", "(", "P", "J1-1", "J1-2", "J1-3", "J1-4", "J1-5", "J1-6", "J123-ABCDEF", "J123-X", "J123-Y", ")"});
    EXPECT_EQ(text(true, false), parts + nets);
    EXPECT_EQ(text(true, false, true), parts + nets);

    // Single nodes: every generated net of one node too, whatever its length.
    std::string single = text(true, true);
    EXPECT_NE(single.find(lines({"(", "$10001", "U1-9", ")", "(", "$10002"})), std::string::npos) << single;
    EXPECT_NE(single.find(lines({")", "(", "$10003", "Q1-ABCDEF", ")", "(", "$10004", "Q1-ABCDEFG", ")", "(", "A"})),
              std::string::npos)
        << single;
}

// Equal Reference IDs come out in reverse walk order, in both orders and by both methods; a schematic
// has its own titles.
TEST_F(Netlist, EqualReferenceIdsAndSchematicTitles) {
    part(fields({"FIRST", "R1", "1K"}), {{"1", "N"}});
    part(fields({"SECOND", "R1", "2K"}), {{"2", "N"}});
    part(fields({"THIRD", "R1", "3K"}), {{"3", "N"}});
    std::string b = text(true, false);
    EXPECT_EQ(b, lines({"[", "R1", "THIRD", "3K", "", "", "", "]", "[", "R1", "SECOND", "2K", "", "", "", "]", "[", "R1",
                        "FIRST", "1K", "", "", "", "]", "(", "N", "R1-3", "R1-2", "R1-1", ")"}));
    EXPECT_EQ(text(true, false, true), b);

    d->setup.layers[1].type = model::kLayerSymbols;
    d->setup.layers[2].type = model::kLayerSchematic;
    std::string c = text(false, false);
    EXPECT_EQ(c.rfind("SCHEMATIC PARTS LIST ", 0), 0u) << c;
    EXPECT_NE(c.find("\r\n\fSCHEMATIC NET LIST "), std::string::npos) << c;
}

TEST_F(Netlist, ReferenceIdCheck) {
    part(fields({"DIP8", "U1", "X"}), {{"1", ""}});
    part("$GND", {{"1", "GND"}}); // one field beginning with "$": a symbol
    EXPECT_TRUE(nets::check_reference_ids(*d).ok());

    part(fields({"$PORT", ""}), {{"1", "X"}}); // two fields: the empty Reference ID counts
    nets::ReferenceCheck c = nets::check_reference_ids(*d);
    EXPECT_EQ(c.sequence, 3);
    EXPECT_EQ(c.field, "");

    fresh();
    part(fields({"DIP8", "U1", "X"}), {{"1", "A"}});
    Ref bad = part(fields({"0805", "r2", "10K"}), {{"1", "A"}});
    part(fields({"0805", "3R", "10K"}), {{"1", "A"}});
    c = nets::check_reference_ids(*d);
    EXPECT_EQ(c.sequence, 2);
    EXPECT_EQ(c.component, bad);
    EXPECT_EQ(nets::reference_error_text(c),
              "A component has been encountered with a Reference ID\nfield that does not begin with a upper case "
              "alphabetic\ncharacter.\n\nComponent sequence number:  2\nComponent Reference ID:  r2\n\nUse the \"Edit "
              "Component\" function to correct this\ncondition.");
    EXPECT_EQ(nets::file_creation_text("x.NET"), "Unable to create netlist output\nfile: \"x.NET\".");
    model::set_document_name(d, "/tmp/boards/amp.pcb");
    EXPECT_EQ(nets::netlist_file_name(*d), "/tmp/boards/amp.NET");
}

// Generated boards with Reference IDs made to collide, gate letters and "-" forms: the per-Signal
// lists and the stable sort give the plain walks' files byte for byte, in both layouts, with and
// without single nodes, and again after the naming pass by either trace.
TEST_F(Netlist, IndexedListsMatchThePlainWalks) {
    const char* refs[] = {"U3", "U3", "U1a", "U1b", "J2-1", "J2-2", "R10", "R9", "U3"};
    for (unsigned seed : {3u, 11u, 29u}) {
        SCOPED_TRACE(seed);
        std::vector<std::string> texts[2];
        for (int plain = 0; plain < 2; ++plain) {
            fresh();
            generate(ring(), seed, 48);
            int k = 0;
            for (Ref r : model::items_in(ring())) {
                if (node(r).item_kind() != model::kComponent || k++ % 4 != 0) {
                    continue;
                }
                // A new Parameters chain: pattern and value kept, the Reference ID replaced.
                Ref head = model::member_ring(r);
                std::string pattern = model::ComponentField(r, 0), value = model::ComponentField(r, 2);
                model::release_chain_nodes(node(head).link);
                node(head).link =
                    model::make_chain(pattern + "\x7F" + refs[(k / 4 + seed) % std::size(refs)] + "\x7F" + value);
            }
            for (int layout = 0; layout < 4; ++layout) {
                nets::NetlistOptions o;
                o.bracketed = layout & 1;
                o.single_node = layout & 2;
                o.plain = plain;
                texts[plain].push_back(nets::netlist_text(*d, o, day_in_march_2024(5)));
            }
            s->plain = plain;
            nets::NamingResult r = nets::name_nets(*s);
            texts[plain].push_back(std::to_string(static_cast<int>(r.end)) + " " + std::to_string(r.nets) + " " +
                                   nets::pad_name(*d, r.first));
            nets::NetlistOptions o;
            o.plain = plain;
            texts[plain].push_back(nets::netlist_text(*d, o, day_in_march_2024(5)));
        }
        ASSERT_EQ(texts[0].size(), texts[1].size());
        for (size_t i = 0; i < texts[0].size(); ++i) {
            EXPECT_EQ(texts[0][i], texts[1][i]) << "output " << i;
        }
        EXPECT_NE(texts[0][0].find("U3-"), std::string::npos);
    }
    // Boards whose pads carry no Signals: the naming pass runs to the end and names every net.
    for (unsigned seed : {5u, 17u}) {
        SCOPED_TRACE(seed);
        std::string named[2];
        for (int plain = 0; plain < 2; ++plain) {
            fresh();
            edit_test::generate_board(ring(), seed, 36);
            model::walk_tree(ring(), [](Ref r, int) {
                if (node(r).item_kind() == model::kPad) {
                    model::DetachSignal(r);
                }
            });
            s->plain = plain;
            nets::NamingResult r = nets::name_nets(*s);
            EXPECT_EQ(r.end, nets::NamingEnd::Done);
            EXPECT_GT(r.generated, 10);
            named[plain] = std::to_string(r.nets) + " " + std::to_string(r.generated) + "\n";
            nets::NetlistOptions o;
            o.plain = plain;
            named[plain] += nets::netlist_text(*d, o, day_in_march_2024(5));
            o.bracketed = true;
            named[plain] += nets::netlist_text(*d, o, day_in_march_2024(5));
        }
        EXPECT_EQ(named[0], named[1]);
        EXPECT_NE(named[0].find("\r\n$10001 "), std::string::npos);
    }
}

} // namespace
