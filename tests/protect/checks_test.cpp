#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "protect/checks.h"

namespace quen {
namespace {

struct Finding {
    int32_t S;
    ProtType type;
    int32_t value;
    bool operator==(const Finding&) const = default;
};

void PrintTo(const Finding& f, std::ostream* os) {
    *os << "{S" << f.S << " " << prot_info(static_cast<int32_t>(f.type)).abbrev << " " << f.value << "}";
}

using Findings = std::vector<Finding>;

// The findings in list order, which is the order they are printed in.
Findings findings_of(const Prot_list& list) {
    Findings out;
    for (const ProtEntry* e = list.head; e; e = e->next) out.push_back({e->S, ProtType(e->type), e->value});
    return out;
}

// ---------------------------------------------------------------- track checks

// A clean 6250-byte track: slot 0 with its leading gaps, sectors 1..9 in slots 1..9.
TrackLayout clean_track() {
    TrackLayout t;
    t.slots.resize(TrackLayout::kInitialSlots);
    t.byte_count = 6250;
    for (size_t i = 0; i <= 9; ++i) {
        t.slots[i].used = 1;
        if (i > 0) t.slots[i].S = static_cast<uint8_t>(i);
    }
    return t;
}

AreaInfo& area(TrackLayout& t, size_t slot, AreaKind k) { return t.slots[slot].area(k); }

struct TrackRow {
    const char* what;
    std::function<void(TrackLayout&)> change;
    bool sector_all_areas;
    Findings expected;
};

const TrackRow kTrackRows[] = {
    {"clean track", [](TrackLayout&) {}, false, {}},
    {"6061 bytes is short", [](TrackLayout& t) { t.byte_count = 6061; }, false, {{-1, ProtType::SHT, 6061}}},
    {"6062 bytes is not short", [](TrackLayout& t) { t.byte_count = 6062; }, false, {}},
    {"6437 bytes is not long", [](TrackLayout& t) { t.byte_count = 6437; }, false, {}},
    {"6438 bytes is long", [](TrackLayout& t) { t.byte_count = 6438; }, false, {{-1, ProtType::LGT, 6438}}},
    {"no byte at all", [](TrackLayout& t) { t.byte_count = 0; }, false, {{-1, ProtType::SHT, 0}}},
    {"largest count", [](TrackLayout& t) { t.byte_count = 65535; }, false, {{-1, ProtType::LGT, 65535}}},
    {"no-flux area in whole microseconds", [](TrackLayout& t) { t.noflux_ns = 123456789; }, false,
     {{-1, ProtType::NFA, 123456}}},
    {"no-flux area under a microsecond still counts", [](TrackLayout& t) { t.noflux_ns = 999; }, false,
     {{-1, ProtType::NFA, 0}}},
    {"whole-track rows newest first", [](TrackLayout& t) { t.noflux_ns = 5000; t.byte_count = 6000; }, false,
     {{-1, ProtType::SHT, 6000}, {-1, ProtType::NFA, 5}}},
    {"synch marks in ID and DATA add up",
     [](TrackLayout& t) { area(t, 4, AreaKind::ID).BS = 1; area(t, 4, AreaKind::DATA).BS = 2; }, false,
     {{4, ProtType::SID, 3}}},
    {"gap marks in GAP1, GAP3 and GAP4 add up",
     [](TrackLayout& t) {
         area(t, 0, AreaKind::GAP1).IDG = 1;
         area(t, 2, AreaKind::GAP3).IDG = 2;
         area(t, 2, AreaKind::GAP4).IDG = 4;
     },
     false, {{0, ProtType::IDG, 1}, {2, ProtType::IDG, 6}}},
    {"gap marks in GAP1a, GAP2, IAM and the fields are not judged",
     [](TrackLayout& t) {
         for (AreaKind k : {AreaKind::GAP1a, AreaKind::GAP2, AreaKind::IAM, AreaKind::ID, AreaKind::DATA}) {
             area(t, 0, k).IDG = 3;
             area(t, 5, k).IDG = 3;
         }
     },
     false, {}},
    {"synch faults in GAP1, GAP3 and GAP4 add up",
     [](TrackLayout& t) {
         area(t, 3, AreaKind::GAP1).BS = 1;
         area(t, 3, AreaKind::GAP3).BS = 1;
         area(t, 3, AreaKind::GAP4).BS = 1;
         area(t, 3, AreaKind::GAP2).BS = 9;
     },
     false, {{3, ProtType::ISS, 3}}},
    {"sums do not wrap at 16 bits",
     [](TrackLayout& t) {
         for (AreaKind k : {AreaKind::GAP1, AreaKind::GAP3, AreaKind::GAP4}) area(t, 1, k).IDG = 65535;
         area(t, 1, AreaKind::ID).BS = 65535;
         area(t, 1, AreaKind::DATA).BS = 1;
     },
     false, {{1, ProtType::IDG, 196605}, {1, ProtType::SID, 65536}}},
    {"one slot raises SID, IDG, ISS, printed newest first",
     [](TrackLayout& t) {
         area(t, 6, AreaKind::DATA).BS = 1;
         area(t, 6, AreaKind::GAP3).IDG = 1;
         area(t, 6, AreaKind::GAP4).BS = 2;
     },
     false, {{6, ProtType::ISS, 2}, {6, ProtType::IDG, 1}, {6, ProtType::SID, 1}}},
    {"-f leaves the gap rows to the sector checks",
     [](TrackLayout& t) {
         area(t, 6, AreaKind::DATA).BS = 1;
         area(t, 6, AreaKind::GAP3).IDG = 1;
         area(t, 6, AreaKind::GAP4).BS = 2;
         area(t, 0, AreaKind::GAP1).IDG = 1;
     },
     true, {{6, ProtType::SID, 1}}},
    {"the walk stops at the first unused slot",
     [](TrackLayout& t) {
         t.slots[5].used = 0;
         area(t, 7, AreaKind::ID).BS = 1;
         area(t, 4, AreaKind::ID).BS = 1;
     },
     false, {{4, ProtType::SID, 1}}},
    {"a slot's own sector number is reported",
     [](TrackLayout& t) {
         t.slots[2].S = 0xF6;
         area(t, 2, AreaKind::GAP4).BS = 1;
     },
     false, {{0xF6, ProtType::ISS, 1}}},
    {"every one of 25 used slots is judged",
     [](TrackLayout& t) {
         for (size_t i = 0; i < t.slots.size(); ++i) t.slots[i].used = 1;
         t.slots[24].S = 24;
         area(t, 24, AreaKind::DATA).BS = 1;
     },
     false, {{24, ProtType::SID, 1}}},
    {"slots beyond the first 25 are judged too",
     [](TrackLayout& t) {
         t.slots.resize(40);
         for (size_t i = 0; i < t.slots.size(); ++i) t.slots[i].used = 1;
         t.slots[39].S = 39;
         area(t, 39, AreaKind::GAP3).IDG = 1;
     },
     false, {{39, ProtType::IDG, 1}}},
    {"a layout without slots", [](TrackLayout& t) { t.slots.clear(); }, false, {}},
};

TEST(TrackChecks, RaiseTheirRows) {
    for (const TrackRow& row : kTrackRows) {
        SCOPED_TRACE(row.what);
        TrackLayout t = clean_track();
        row.change(t);
        RunOptions opts;
        opts.sector_all_areas = row.sector_all_areas;
        Prot_list list;
        check_track_protections(list, t, opts);
        EXPECT_EQ(findings_of(list), row.expected);
    }
}

// ---------------------------------------------------------------- ID checks

struct IdField {
    uint8_t mark = 0xFE;
    uint8_t T = 0;
    uint8_t H = 0;
    uint8_t S = 1;
    uint8_t Z = 2;
    uint16_t crc = 0;
};

struct IdInput {
    IdLayout layout;
    ByteBuffer buffer;
};

IdInput make_ids(const std::vector<IdField>& fields) {
    IdInput in{IdLayout{}, ByteBuffer(200)};
    for (const IdField& f : fields) {
        in.layout.ids[in.layout.id_count].bytes = 7;
        in.layout.ids[in.layout.id_count].crc = f.crc;
        ++in.layout.id_count;
        for (uint8_t b : {f.mark, f.T, f.H, f.S, f.Z, uint8_t{0x12}, uint8_t{0x34}})
            in.buffer.append(DecodedByte{b, 0, 4000, 0});
    }
    return in;
}

// n standard ID fields numbered 1..n.
std::vector<IdField> standard_ids(int n) {
    std::vector<IdField> fields(n);
    for (int i = 0; i < n; ++i) fields[i].S = static_cast<uint8_t>(i + 1);
    return fields;
}

// Nine standard ID fields with the fifth (sector 5) replaced.
std::vector<IdField> nine_with(IdField fifth) {
    std::vector<IdField> fields = standard_ids(9);
    fields[4] = fifth;
    return fields;
}

struct IdRow {
    const char* what;
    std::vector<IdField> fields;
    Findings expected;
};

const IdRow kIdRows[] = {
    {"no ID field", {}, {{-1, ProtType::NOS, 0}}},
    {"8 ID fields", standard_ids(8), {{-1, ProtType::NOS, 8}}},
    {"9 ID fields", standard_ids(9), {}},
    {"10 ID fields", standard_ids(10), {}},
    {"11 ID fields", standard_ids(11), {{-1, ProtType::NOS, 11}}},
    {"mark FF", nine_with({.mark = 0xFF, .S = 5}), {{5, ProtType::NSI, 255}}},
    {"sector F5", nine_with({.S = 0xF5}), {{0xF5, ProtType::ISN, -1}}},
    {"sector F6", nine_with({.S = 0xF6}), {{0xF6, ProtType::ISN, -1}}},
    {"sector F7", nine_with({.S = 0xF7}), {{0xF7, ProtType::ISN, -1}}},
    {"sector F4", nine_with({.S = 0xF4}), {}},
    {"sector F8", nine_with({.S = 0xF8}), {}},
    {"bad ID CRC", nine_with({.S = 5, .crc = 0x1D0F}), {{5, ProtType::SBI, -1}}},
    {"size code 0", nine_with({.S = 5, .Z = 0}), {{5, ProtType::IIF, -1}}},
    {"size code 1", nine_with({.S = 5, .Z = 1}), {{5, ProtType::IIF, -1}}},
    {"size code 3", nine_with({.S = 5, .Z = 3}), {}},
    {"size code 4", nine_with({.S = 5, .Z = 4}), {{5, ProtType::IIF, -1}}},
    {"head 1", nine_with({.H = 1, .S = 5}), {}},
    {"head 2", nine_with({.H = 2, .S = 5}), {{5, ProtType::IIF, -1}}},
    {"size code 4 and head 2 still one finding", nine_with({.H = 2, .S = 5, .Z = 4}), {{5, ProtType::IIF, -1}}},
    {"the track byte is never judged", nine_with({.T = 0xF7, .S = 5}), {}},
    {"one duplicate",
     {{.S = 1}, {.S = 2}, {.S = 3}, {.S = 4}, {.S = 2}, {.S = 6}, {.S = 7}, {.S = 8}, {.S = 9}},
     {{2, ProtType::DSN, -1}}},
    {"three fields with one number give three findings",
     {{.S = 3}, {.S = 1}, {.S = 3}, {.S = 4}, {.S = 5}, {.S = 3}, {.S = 7}, {.S = 8}, {.S = 9}},
     {{3, ProtType::DSN, -1}, {3, ProtType::DSN, -1}, {3, ProtType::DSN, -1}}},
    {"all rows of one field, printed newest first",
     {{.mark = 0xFF, .H = 3, .S = 0xF5, .Z = 7, .crc = 1}, {.S = 0xF5}},
     {{-1, ProtType::NOS, 2},
      {0xF5, ProtType::ISN, -1},
      {0xF5, ProtType::IIF, -1},
      {0xF5, ProtType::SBI, -1},
      {0xF5, ProtType::DSN, -1},
      {0xF5, ProtType::ISN, -1},
      {0xF5, ProtType::NSI, 255}}},
};

TEST(IdChecks, RaiseTheirRows) {
    for (const IdRow& row : kIdRows) {
        SCOPED_TRACE(row.what);
        const IdInput in = make_ids(row.fields);
        Prot_list list;
        check_id_protections(list, in.layout, in.buffer);
        EXPECT_EQ(findings_of(list), row.expected);
    }
}

TEST(IdChecks, AFieldWhoseBytesWereNotStoredIsNotJudged) {
    std::vector<IdField> fields = standard_ids(9);
    fields[8] = {.mark = 0xFF, .H = 9, .S = 0xF5, .Z = 9, .crc = 1};
    IdInput in = make_ids(fields);
    // The ninth field's bytes stay in the entries but lie beyond the count: its
    // size code is missing, so nothing of it may be read.
    in.buffer.count = 8 * 7 + 4;
    Prot_list list;
    check_id_protections(list, in.layout, in.buffer);
    EXPECT_EQ(findings_of(list), Findings{});
    // One entry more holds the size code: the field is judged whole.
    in.buffer.count = 8 * 7 + 5;
    Prot_list judged;
    check_id_protections(judged, in.layout, in.buffer);
    EXPECT_EQ(findings_of(judged), (Findings{{0xF5, ProtType::IIF, -1},
                                             {0xF5, ProtType::SBI, -1},
                                             {0xF5, ProtType::ISN, -1},
                                             {0xF5, ProtType::NSI, 255}}));
}

TEST(IdChecks, AnEmptyBufferRaisesOnlyTheCount) {
    IdInput in = make_ids(standard_ids(11));
    in.buffer.count = 0;
    Prot_list list;
    check_id_protections(list, in.layout, in.buffer);
    EXPECT_EQ(findings_of(list), (Findings{{-1, ProtType::NOS, 11}}));
}

// ---------------------------------------------------------------- sector checks

constexpr uint32_t kPrevEndNs = 50000000;

struct SectorInput {
    SectorLayout layout;
    ByteBuffer buffer;
    uint32_t prev_data_end = kPrevEndNs;
};

// Sector 3 of 512 bytes, exactly 32000 ns per byte, well after the previous sector.
SectorInput clean_sector() {
    SectorInput in{SectorLayout{}, ByteBuffer(10000)};
    in.layout.S = 3;
    in.layout.Z = 2;
    in.layout.has_data = 1;
    AreaInfo& data = in.layout.area(AreaKind::DATA);
    data.bytes = 515;
    data.position_ns = 100000000;
    data.length_ns = 515 * 32000;
    in.layout.area(AreaKind::GAP3).bytes = 37;
    in.layout.area(AreaKind::GAP4).bytes = 40;
    in.buffer.append(DecodedByte{0xFB, 0, 4000, data.position_ns});
    for (int i = 1; i < 515; ++i) in.buffer.append(DecodedByte{0xE5, 0, 4000, 0});
    return in;
}

AreaInfo& data_of(SectorInput& in) { return in.layout.area(AreaKind::DATA); }

struct SectorRow {
    const char* what;
    std::function<void(SectorInput&)> change;
    Findings expected;
};

const SectorRow kSectorRows[] = {
    {"clean sector", [](SectorInput&) {}, {}},
    {"no data raises only SND, whatever else is wrong",
     [](SectorInput& in) {
         in = SectorInput{SectorLayout{}, ByteBuffer(10000), kPrevEndNs};
         in.layout.S = 7;
         in.layout.Z = 9;
         in.layout.FZP = 5;
         in.layout.DOI = 5;
         AreaInfo& data = data_of(in);
         data.crc = 1;
         data.BRD = 3;
         data.TMV = 3;
         data.BS = 3;
         data.position_ns = 0;
         in.layout.area(AreaKind::GAP3).IDG = 1;
         in.layout.area(AreaKind::GAP4).BS = 1;
     },
     {{7, ProtType::SND, -1}}},
    {"deleted data mark", [](SectorInput& in) { in.buffer.entries[0].data = 0xF8; }, {{3, ProtType::NSD, 0xF8}}},
    {"mark read from data_start",
     [](SectorInput& in) {
         // With every area kept, the mark follows the ID field and GAP3.
         in.buffer = ByteBuffer(10000);
         in.buffer.append(DecodedByte{0xFE, 0, 4000, 0});
         for (int i = 1; i < 44; ++i) in.buffer.append(DecodedByte{0x4E, 0, 4000, 0});
         in.buffer.append(DecodedByte{0xFB, 0, 4000, 0});
         for (int i = 1; i < 515; ++i) in.buffer.append(DecodedByte{0xE5, 0, 4000, 0});
         in.layout.data_start = 44;
     },
     {}},
    {"mark missing from the buffer is not judged", [](SectorInput& in) { in.buffer.count = 0; }, {}},
    {"size code 1", [](SectorInput& in) { in.layout.Z = 1; }, {{3, ProtType::SSZ, 1}}},
    {"size code 0 has value 0", [](SectorInput& in) { in.layout.Z = 0; }, {{3, ProtType::SSZ, 0}}},
    {"size code 4", [](SectorInput& in) { in.layout.Z = 4; }, {{3, ProtType::SSZ, 4}}},
    {"size code 3",
     [](SectorInput& in) {
         in.layout.Z = 3;
         data_of(in).bytes = 1027;
         data_of(in).length_ns = 1027 * 32000;
     },
     {}},
    {"bad data CRC", [](SectorInput& in) { data_of(in).crc = 0xBEEF; }, {{3, ProtType::SBD, -1}}},
    {"data before the previous data's end",
     [](SectorInput& in) { data_of(in).position_ns = kPrevEndNs - 1; }, {{3, ProtType::SWS, -1}}},
    {"data exactly at the previous data's end", [](SectorInput& in) { data_of(in).position_ns = kPrevEndNs; }, {}},
    {"first sector never within another",
     [](SectorInput& in) {
         in.prev_data_end = 0;
         data_of(in).position_ns = 0;
     },
     {}},
    {"ambiguous flux", [](SectorInput& in) { data_of(in).BRD = 4; }, {{3, ProtType::FAA, 4}}},
    {"timing violations", [](SectorInput& in) { data_of(in).TMV = 2; }, {{3, ProtType::MTV, 2}}},
    {"data at exactly 200 ms", [](SectorInput& in) { data_of(in).position_ns = 200000000; }, {}},
    {"data at exactly 200 ms over the index",
     [](SectorInput& in) {
         data_of(in).position_ns = 200000000;
         in.layout.DOI = 5;
     },
     {{3, ProtType::DOI, 5}}},
    {"data beyond the index is never also over it",
     [](SectorInput& in) {
         data_of(in).position_ns = 200000001;
         in.layout.DOI = 5;
     },
     {{3, ProtType::DBI, 200000}}},
    {"data over the index", [](SectorInput& in) { in.layout.DOI = 515; }, {{3, ProtType::DOI, 515}}},
    {"exactly 32960 ns per byte", [](SectorInput& in) { data_of(in).length_ns = 515 * 32960; }, {}},
    {"one ns over 32960 per byte",
     [](SectorInput& in) { data_of(in).length_ns = 515 * 32960 + 1; }, {{3, ProtType::LGS, 16974}}},
    {"exactly 31040 ns per byte", [](SectorInput& in) { data_of(in).length_ns = 515 * 31040; }, {}},
    {"one ns under 31040 per byte",
     [](SectorInput& in) { data_of(in).length_ns = 515 * 31040 - 1; }, {{3, ProtType::SHS, 15985}}},
    {"the long limit does not overflow 31 bits",
     [](SectorInput& in) {
         data_of(in).bytes = 65535;
         data_of(in).length_ns = 65535u * 32960u;
     },
     {}},
    {"beyond the largest long limit",
     [](SectorInput& in) {
         data_of(in).bytes = 65535;
         data_of(in).length_ns = 65535u * 32960u + 1;
     },
     {{3, ProtType::LGS, 2160033}}},
    {"bit-rate variation with BRD and TMV 9",
     [](SectorInput& in) {
         AreaInfo& d = data_of(in);
         d.over_clocked = 81;
         d.under_clocked = 81;
         d.BRD = 9;
         d.TMV = 9;
     },
     {{3, ProtType::IBV, 162}, {3, ProtType::MTV, 9}, {3, ProtType::FAA, 9}}},
    {"no bit-rate variation with BRD 10",
     [](SectorInput& in) {
         AreaInfo& d = data_of(in);
         d.over_clocked = 81;
         d.under_clocked = 81;
         d.BRD = 10;
         d.TMV = 9;
     },
     {{3, ProtType::MTV, 9}, {3, ProtType::FAA, 10}}},
    {"no bit-rate variation with TMV 10",
     [](SectorInput& in) {
         AreaInfo& d = data_of(in);
         d.over_clocked = 81;
         d.under_clocked = 81;
         d.TMV = 10;
     },
     {{3, ProtType::MTV, 10}}},
    {"no bit-rate variation with 80 over-clocked bytes",
     [](SectorInput& in) {
         data_of(in).over_clocked = 80;
         data_of(in).under_clocked = 81;
     },
     {}},
    {"no bit-rate variation with 80 under-clocked bytes",
     [](SectorInput& in) {
         data_of(in).over_clocked = 81;
         data_of(in).under_clocked = 80;
     },
     {}},
    {"bit-rate variation sum does not wrap at 16 bits",
     [](SectorInput& in) {
         data_of(in).over_clocked = 65535;
         data_of(in).under_clocked = 65535;
     },
     {{3, ProtType::IBV, 131070}}},
    {"fuzzy data", [](SectorInput& in) { in.layout.FZP = 100; }, {{3, ProtType::FZD, 100}}},
    {"gap marks in GAP3 and GAP4 add up",
     [](SectorInput& in) {
         in.layout.area(AreaKind::GAP3).IDG = 1;
         in.layout.area(AreaKind::GAP4).IDG = 2;
         in.layout.area(AreaKind::GAP2).IDG = 9;
     },
     {{3, ProtType::IDG, 3}}},
    {"synch faults in GAP3 and GAP4 add up",
     [](SectorInput& in) {
         in.layout.area(AreaKind::GAP3).BS = 65535;
         in.layout.area(AreaKind::GAP4).BS = 2;
         in.layout.area(AreaKind::GAP2).BS = 9;
         in.layout.area(AreaKind::ID).BS = 9;
         data_of(in).BS = 9;
     },
     {{3, ProtType::ISS, 65537}}},
    {"every row at once, printed newest first",
     [](SectorInput& in) {
         in.buffer.entries[0].data = 0xF8;
         in.layout.Z = 1;
         in.layout.FZP = 7;
         in.layout.DOI = 12;
         AreaInfo& d = data_of(in);
         d.crc = 1;
         d.position_ns = kPrevEndNs - 1000;
         d.BRD = 1;
         d.TMV = 2;
         d.length_ns = 515 * 33000;
         d.over_clocked = 90;
         d.under_clocked = 91;
         in.layout.area(AreaKind::GAP3).IDG = 1;
         in.layout.area(AreaKind::GAP4).BS = 1;
     },
     {{3, ProtType::ISS, 1},
      {3, ProtType::IDG, 1},
      {3, ProtType::FZD, 7},
      {3, ProtType::IBV, 181},
      {3, ProtType::LGS, 16995},
      {3, ProtType::DOI, 12},
      {3, ProtType::MTV, 2},
      {3, ProtType::FAA, 1},
      {3, ProtType::SWS, -1},
      {3, ProtType::SBD, -1},
      {3, ProtType::SSZ, 1},
      {3, ProtType::NSD, 0xF8}}},
};

TEST(SectorChecks, RaiseTheirRows) {
    for (const SectorRow& row : kSectorRows) {
        SCOPED_TRACE(row.what);
        SectorInput in = clean_sector();
        row.change(in);
        Prot_list list;
        check_sector_protections(list, in.layout, in.buffer, in.prev_data_end);
        EXPECT_EQ(findings_of(list), row.expected);
    }
}

// ---------------------------------------------------------------- one run's list

std::string printed(const Prot_list& list) {
    char* data = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&data, &size);
    if (out == nullptr) return "open_memstream failed";
    list.print(out);
    std::fclose(out);
    std::string text(data, size);
    std::free(data);
    return text;
}

TEST(ProtectionPass, FindingsOfAllThreeRoutinesPrintInLocationOrder) {
    Prot_list list;

    TrackLayout track = clean_track();
    track.byte_count = 6500;
    area(track, 2, AreaKind::DATA).BS = 1;
    check_track_protections(list, track, RunOptions{});

    std::vector<IdField> fields = standard_ids(10);
    fields[1].crc = 0xFFFF;
    const IdInput ids = make_ids(fields);
    check_id_protections(list, ids.layout, ids.buffer);

    SectorInput first = clean_sector();
    first.layout.S = 2;
    data_of(first).crc = 0xFFFF;
    check_sector_protections(list, first.layout, first.buffer, 0);

    SectorInput second = clean_sector();
    second.layout.S = 1;
    data_of(second).position_ns = 90000000;
    check_sector_protections(list, second.layout, second.buffer, 100000000 + 515 * 32000);

    EXPECT_EQ(printed(list),
              "\n*** Found 5 protections ***\n"
              " LGT Long Track (6500)\n"
              " S001 SWS Sector Within Sector\n"
              " S002 SBD Sector with Bad Data\n"
              " S002 SBI Sector with Bad ID\n"
              " S002 SID Synch mark in ID/DATA (1)\n");
}

}  // namespace
}  // namespace quen
