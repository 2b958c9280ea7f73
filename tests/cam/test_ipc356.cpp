// The IPC-D-356A test netlist: header, the exact columns of through-hole, surface and via records,
// soldermask from the mask rows, long-name aliases, millimetres.
#include "cam/ipc356.h"
#include "cam_fixture.h"
#include "model/setup_directives.h"

using namespace camtest;
using namespace trazel::cam;

namespace {

const Coord kIn = 65536;

struct Ipc : Board {
    std::vector<std::string> lines(bool mm = false) {
        return split_lines(ipc356_text(*d, Ipc356Options{mm, "JOB-7"}));
    }
};

} // namespace

TEST_F(Ipc, RecordsAtTheirColumns) {
    Ref j1 = model::make_component(ring(), 0, 0, "HDR\x7FJ1");
    Ref thru = pad(0, 1, kIn, kIn / 2, mil(60), mil(60), mil(35), 0, model::member_ring(j1));
    model::SetPin(thru, "2");
    model::AttachSignal(thru, "gnd");
    Ref big = pad(0, 2, 0, 0, mil(30), mil(30), mil(40), 0, model::member_ring(j1)); // hole wider: unplated
    model::SetPin(big, "MH");
    ASSERT_TRUE(model::close_component(j1));
    Ref q7 = model::make_component(ring(), 0, 0, "SOT\x7FQ7");
    Ref smd = pad(12, 6, -kIn / 4, kIn / 8, mil(50), mil(20), 0, 16384, model::member_ring(q7));
    model::SetPin(smd, "3");
    model::AttachSignal(smd, "VERY_LONG_NET_NAME1");
    ASSERT_TRUE(model::close_component(q7));
    Ref via = pad(0, 3, 2 * kIn, 0, mil(40), mil(40), mil(20));
    model::AttachSignal(via, "GND");
    s().origin_y = -kIn; // every Y one inch up
    model::ApplyDirective(s(), "-dy");
    model::ApplyDirective(s(), "-dyTSM:2,2");
    model::ApplyDirective(s(), "-dyBSM:10,13");

    std::vector<std::string> want = {
        "C  IPC-D-356A bare board test netlist", "C  board.pcb", "P  JOB JOB-7", "P  UNITS CUST 0",
        "P  TITLE board.pcb", "P  VER IPC-D-356A", "P  IMAGE PRIMARY", "P  NNAME1     VERY_LONG_NET_NAME1",
        // 1-3 code, 4-17 net, 21-26 reference, 27 dash, 28-31 pin, 33-38 hole and plating, 39-41 access,
        // 42-57 position, 58-71 size and rotation, 73-74 soldermask.
        "317GND              J1    -2    D0350PA00X+010000Y+015000X0600Y0000R000 S0",
        // Vias have no mask opening on either side: covered on both.
        "317GND              VIA   -     D0200PA00X+020000Y+010000X0400Y0000R000 S3",
        // Bottom copper is the third copper layer (top, plane, bottom).
        "327NNAME1           Q7    -3          A03X-002500Y+011250X0500Y0200R090 S0",
        "317N/C              J1    -MH   D0400UA00X+000000Y+010000X0300Y0300R000 S0", "999"};
    EXPECT_EQ(lines(), want);

    // Millimetres in thousandths; the unmasked board leaves the via bare.
    model::ApplyDirective(s(), "-dy");
    std::vector<std::string> mm = lines(true);
    ASSERT_EQ(mm.size(), want.size());
    EXPECT_EQ(mm[3], "P  UNITS CUST 1");
    EXPECT_EQ(mm[9], "317GND              VIA   -     D0508PA00X+050800Y+025400X1016Y0000R000 S0");
}
