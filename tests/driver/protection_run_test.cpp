// Whole runs on synthetic protected tracks: each must end its report with the
// protection features a user would look for, in the order the list keeps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/mfm.h"
#include "support/builder.h"
#include "support/run_helper.h"

namespace quen::testing {
namespace {

using synth::MfmCells;
using synth::SectorPlan;
using synth::TrackPlan;

std::string protection_block(const std::string& report) {
    const size_t at = report.rfind("\n*** Found ");
    return at == std::string::npos ? std::string("<no protection block>") : report.substr(at);
}

std::string run_track_revs(const std::vector<MfmCells>& revs, const std::vector<std::string>& options = {}) {
    const std::string path = write_temp_file(synth::revolutions_to_stream(revs));
    std::vector<std::string> args = options;
    args.push_back("-b");
    args.push_back(path);
    RunResult r = run_analyser(args);
    EXPECT_EQ(r.code, 1) << r.err;
    return r.out;
}

std::string run_track(const MfmCells& track, const std::vector<std::string>& options = {}) {
    return run_track_revs({track, track, track}, options);
}

std::string run_plan(const TrackPlan& plan) { return protection_block(run_track(synth::build_track(plan))); }

TEST(ProtectionRun, StandardTrackShowsNothing) {
    EXPECT_EQ(run_plan(synth::standard_track(1)), "\n*** Found 0 protections ***\n");
}

TEST(ProtectionRun, TracksWithOneFeatureEach) {
    struct Case {
        const char* name;
        TrackPlan plan;
        std::string block;
    };
    std::vector<Case> cases;

    {
        TrackPlan t = synth::standard_track(1);
        t.sectors[3].data_crc = 0x1234;  // sector 4
        cases.push_back({"bad data CRC", t, "\n*** Found 1 protections ***\n S004 SBD Sector with Bad Data\n"});
    }
    {
        TrackPlan t = synth::standard_track(1);
        t.sectors[3].id_mark = 0xFF;    // sector 4
        t.sectors[4].data_mark = 0xF8;  // sector 5
        cases.push_back({"non-standard marks", t,
                         "\n*** Found 2 protections ***\n S004 NSI Non-Standard IDAM (255)\n"
                         " S005 NSD Non-Standard DAM (248)\n"});
    }
    {
        TrackPlan t = synth::standard_track(1);
        t.sectors[6].sector = 3;  // a second sector 3 in place of sector 7
        cases.push_back({"duplicate sector number", t,
                         "\n*** Found 1 protections ***\n S003 DSN Duplicate Sector Number\n"});
    }
    {
        TrackPlan t = synth::standard_track(1);
        t.sectors[8].sector = 0xF5;
        cases.push_back({"sector number F5", t, "\n*** Found 1 protections ***\n S245 ISN Invalid Sector Number\n"});
    }
    {
        TrackPlan t = synth::standard_track(1);
        t.sectors[1].size_code = 1;  // sector 2: a 512-byte field all the same
        t.sectors[2].head = 2;       // sector 3
        cases.push_back({"invalid ID fields", t,
                         "\n*** Found 3 protections ***\n S002 SSZ Sector Size (1)\n S002 IIF Invalid ID Field\n"
                         " S003 IIF Invalid ID Field\n"});
    }
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run_plan(c.plan), c.block);
    }
}

TEST(ProtectionRun, LongAndShortTracks) {
    TrackPlan long_track = synth::standard_track(1);
    for (uint8_t s = 10; s <= 11; ++s) {
        SectorPlan extra;
        extra.sector = s;
        extra.track = 1;
        long_track.sectors.push_back(extra);
    }
    // Eleven sectors squeezed into one turn, as a duplicator writes them.
    for (SectorPlan& s : long_track.sectors) s.gap4_4e = 10;
    long_track.total_bytes = 0;
    const std::string long_block = run_plan(long_track);
    // Whole-track findings come first, newest first; normalised to 200 ms every sector is short.
    EXPECT_NE(long_block.find("\n NOS Number of Sectors (11)\n LGT Long Track (6571)\n S001 SHS Short Sector ("),
              std::string::npos)
        << long_block;
    EXPECT_NE(long_block.find(" S011 SHS Short Sector ("), std::string::npos) << long_block;

    // A track of 6000 bytes: once its turn is normalised to 200 ms every sector is long too.
    TrackPlan short_track = synth::standard_track(1);
    for (SectorPlan& s : short_track.sectors) s.gap4_4e = 70;
    short_track.total_bytes = 6000;
    const std::string short_block = run_plan(short_track);
    EXPECT_EQ(short_block.rfind("\n*** Found 10 protections ***\n SHT Short Track (", 0), 0u) << short_block;
    for (int s = 1; s <= 9; ++s) {
        EXPECT_NE(short_block.find(" S00" + std::to_string(s) + " LGS Long Sector ("), std::string::npos) << s;
    }
}

// Sector 3 reads differently in every revolution from data byte 100 on.
TEST(ProtectionRun, FuzzySector) {
    std::vector<MfmCells> revs;
    for (uint8_t r = 0; r < 3; ++r) {
        TrackPlan t = synth::standard_track(1);
        t.sectors[2].data.assign(512, 0xE5);
        t.sectors[2].data[100] = static_cast<uint8_t>(0x11 * (r + 1));
        revs.push_back(synth::build_track(t));
    }
    const std::string report = run_track_revs(revs);
    // Position 0 is the data mark, so data byte 100 is position 101.
    EXPECT_EQ(protection_block(report), "\n*** Found 1 protections ***\n S003 FZD Fuzzy Data Block (101)\n");
}

TEST(ProtectionRun, NoFluxArea) {
    TrackPlan t = synth::standard_track(1);
    t.total_bytes = 0;
    MfmCells c = synth::build_track(t);
    c.no_flux(400);
    while (c.size() < 6250 * 16) c.byte(0x4E);
    const std::string block = protection_block(run_track(c));
    EXPECT_EQ(block.rfind("\n*** Found 1 protections ***\n NFA No Flux reversal Area (", 0), 0u) << block;
}

// Sector 6 lies inside the 1024-byte data field of sector 5.
TEST(ProtectionRun, SectorWithinSector) {
    TrackPlan t = synth::standard_track(1);
    t.sectors.erase(t.sectors.begin() + 4, t.sectors.begin() + 6);  // sectors 5 and 6 written by hand
    t.total_bytes = 0;
    TrackPlan head = t;
    head.sectors.resize(4);
    MfmCells c = synth::build_track(head);

    MfmCells inner;
    SectorPlan six;
    six.sector = 6;
    six.track = 1;
    six.gap4_4e = 0;
    six.data.assign(512, 0x6C);
    synth::write_sector(inner, six);

    SectorPlan five;
    five.sector = 5;
    five.track = 1;
    five.size_code = 3;  // 1024 bytes: room for a whole sector
    synth::write_id_field(c, five);
    c.bytes(0x4E, 22);
    synth::write_data_mark(c, five);
    c.bytes(0x55, 20);
    c.append(inner);  // the inner sector's cells stand inside sector 5's 512 data bytes
    const size_t inner_bytes = inner.size() / 16;
    c.bytes(0x55, 1024 - 20 - inner_bytes);
    c.bytes(0x4E, 2);  // sector 5's CRC bytes, deliberately wrong
    c.bytes(0x4E, 80);
    for (size_t i = 6; i < t.sectors.size(); ++i) synth::write_sector(c, t.sectors[i]);
    while (c.size() < 6250 * 16) c.byte(0x4E);

    const std::string block = protection_block(run_track(c));
    EXPECT_NE(block.find(" S006 SWS Sector Within Sector\n"), std::string::npos) << block;
    EXPECT_NE(block.find(" S005 SID Synch mark in ID/DATA ("), std::string::npos) << block;
}

// The last sector's data field runs over the index into the next revolution.
TEST(ProtectionRun, DataOverIndex) {
    std::vector<uint8_t> data(512);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0x31 + 2 * (i % 40));
    const uint16_t crc = synth::crc_of({{0xA1, 0xA1, 0xA1, 0xFB}, data});

    const size_t cut = 300;  // data bytes written before the index
    MfmCells c;
    c.bytes(std::vector<uint8_t>(data.begin() + cut, data.end()));
    c.bytes({static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc & 0xFF)});
    c.bytes(0x4E, 40);
    TrackPlan t = synth::standard_track(1);
    t.sectors.pop_back();
    t.total_bytes = 0;
    c.append(synth::build_track(t));
    SectorPlan nine;
    nine.sector = 9;
    nine.has_data = false;
    synth::write_sector(c, nine);
    synth::write_data_mark(c, nine);
    c.bytes(std::vector<uint8_t>(data.begin(), data.begin() + cut));

    const std::string block = protection_block(run_track(c));
    EXPECT_NE(block.find(" S009 DOI Data Over Index ("), std::string::npos) << block;
}

}  // namespace
}  // namespace quen::testing
