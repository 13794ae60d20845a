// The ID locator and the sector decoder narrate the same events in slightly different words.
#include <gtest/gtest.h>

#include "sector/id_locator.h"
#include "sector/sector.h"
#include "sector_fixture.h"

namespace quen::sectortest {
namespace {

using synth::MfmCells;

// A short synch run, a late transition, an MFM violation, a stretch without flux and
// an index address mark.
std::unique_ptr<QuenStream> eventful_stream() {
    MfmCells t;
    t.bytes(0x4E, 100);
    t.bytes(0x00, 12);
    t.sync_a1(2);
    t.byte(0xFE);
    t.bytes(0x4E, 85);
    t.raw("00000001");
    t.no_flux(311);
    t.raw("1");
    t.bytes(0x00, 12);
    t.sync_c2(3);
    t.byte(0xFC);
    MemTiming timing;
    // Byte 150 is 4E: its transition in cell 11 comes 1000 ns late.
    timing.shifts.push_back({kRevolutionCells + byte_cell(150) + 11, 1000.0});
    const MfmCells rev = padded(t);
    return mem_stream({rev, rev, rev}, timing);
}

std::string decoder_lines(const QuenStream& s) {
    Capture diag, err;
    SectorLayout layout;
    ByteBuffer buffer(10000);
    testing::decode_sector_alone(s, 1, layout, 1, 0, buffer, capture_opts(diag, err, true));
    return diag.text();
}

TEST(DecoderMessages, EachDecoderUsesItsOwnWords) {
    const auto s = eventful_stream();
    const std::string locator = locate(*s).diag;
    const std::string decoder = decoder_lines(*s);
    struct Case {
        const char* locator;
        const char* decoder;
    };
    const Case cases[] = {
        {"  ** Short Synch sequence only 2 found @3682 Byte 0072)\n",
         "  ** Short Synch sequence only 2 found @3648 Byte 0072\n"},
        {"  ** border_bits=5000 ns @4825 ms Byte=0096 clk=4063\n",
         "  ** border bits 5000 ns @4825 ms Byte=0096 clk=4063\n"},
        {"  ** border_bits=3000 ns @4828 ms Byte=0096 clk=4096\n",
         "  ** border bits 3000 ns @4828 ms Byte=0096 clk=4096\n"},
        {"  ** MFM violation: Long spacing 20000 ns @6416 ms Byte=00c7 clk=4000\n",
         "  ** MFM violation: Long spacing 20000 ns @ 6416 ms Byte=00c7 clk=4000\n"},
        {"  ** No Flux Transition Area 624000 ns @7040 ms Byte=00c8 clk=4000\n",
         "  ** No Flux Transition Area 624000 ns @ 7040 ms Byte=00c8 clk=4000\n"},
        {"  ** Skipped invalid AM $fc byte after 3 Synch mark @7554\n",
         "  ** Skipping invalid AM $fc byte after 3 Synch mark @7524\n"},
    };
    for (const Case& c : cases) {
        EXPECT_NE(locator.find(c.locator), std::string::npos) << c.locator << locator;
        EXPECT_NE(decoder.find(c.decoder), std::string::npos) << c.decoder << decoder;
    }
}

TEST(DecoderMessages, NothingIsWrittenWithoutVerbose) {
    const auto s = eventful_stream();
    Capture diag, err;
    const RunOptions quiet = capture_opts(diag, err, false);
    IdLayout layout;
    ByteBuffer buffer(200);
    testing::locate_ids_from_index(*s, 1, layout, buffer, quiet);
    EXPECT_EQ(layout.ids[0].BRD, 2);  // the late transition and the one after it
    EXPECT_EQ(layout.ids[0].TMV, 1);
    EXPECT_EQ(layout.ids[0].BS, 1);
    SectorLayout sector;
    ByteBuffer sector_buffer(10000);
    testing::decode_sector_alone(*s, 1, sector, 1, 0, sector_buffer, quiet);
    EXPECT_EQ(sector.area(AreaKind::GAP2).BRD, 2);
    EXPECT_NE(sector.noflux_ns, 0u);
    EXPECT_EQ(diag.text(), "");
}

}  // namespace
}  // namespace quen::sectortest
