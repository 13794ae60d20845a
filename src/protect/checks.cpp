#include "protect/checks.h"

#include <optional>

#include "decode/marks.h"

namespace quen {

namespace {

// A standard double-density track holds about 6250 bytes; a small tolerance either way.
constexpr uint32_t kShortTrackBytes = 6062;
constexpr uint32_t kLongTrackBytes = 6437;

// Nine or ten sectors make an ordinary double-density track.
constexpr uint32_t kMinSectors = 9;
constexpr uint32_t kMaxSectors = 10;

// One normalised revolution: a data field starting later lies behind the index.
constexpr uint32_t kRevolutionNs = 200000000;

// Nominal 32000 ns per byte, with 3 % tolerance either way.
constexpr uint32_t kLongSectorNsPerByte = 32960;
constexpr uint32_t kShortSectorNsPerByte = 31040;

// A data field whose clock drifts both ways this often, while its flux is otherwise clean.
constexpr uint32_t kDriftBytes = 80;
constexpr uint32_t kCleanFluxFaults = 10;

constexpr uint8_t kIdMarkNonStandard = 0xFF;
constexpr uint8_t kDataMarkStandard = 0xFB;

// Finding values are signed; every measured value here fits comfortably.
int32_t as_value(uint32_t v) { return static_cast<int32_t>(v); }
int32_t as_us(uint32_t ns) { return as_value(ns / 1000); }

// The ID bytes the checks judge: mark, track, head, sector and size code.
struct IdFieldBytes {
    uint8_t mark, T, H, S, Z;
};

// An ID field whose bytes were not all stored (a buffer cut short) is not judged:
// without its sector number no finding could be attributed to it.
std::optional<IdFieldBytes> read_id_field(const ByteBuffer& buffer, uint32_t field) {
    if (id_entry(buffer, field, IdEntry::kSize) == nullptr) return std::nullopt;
    const auto byte = [&](IdEntry which) { return id_byte(buffer, field, which); };
    return IdFieldBytes{byte(IdEntry::kMark), byte(IdEntry::kTrack), byte(IdEntry::kHead), byte(IdEntry::kSector),
                        byte(IdEntry::kSize)};
}

// The data address mark is missing from the buffer only when the buffer could not
// store it; an unknown mark is no evidence of a non-standard one, so it is not judged.
std::optional<uint8_t> read_data_mark(const ByteBuffer& buffer, uint16_t data_start) {
    if (data_start >= buffer.count) return std::nullopt;
    return buffer.entries[data_start].data;
}

}  // namespace

void check_track_protections(Prot_list& list, const TrackLayout& track, const RunOptions& opts) {
    if (track.noflux_ns != 0)                list.add(-1, ProtType::NFA, as_us(track.noflux_ns));
    if (track.byte_count < kShortTrackBytes) list.add(-1, ProtType::SHT, track.byte_count);
    if (track.byte_count > kLongTrackBytes)  list.add(-1, ProtType::LGT, track.byte_count);

    // The gap rows are left to the sector checks when those see every area themselves.
    const bool judge_gaps = !opts.sector_all_areas;
    for_each_used_slot(track, [&](size_t, const SectorSlot& slot) {
        const AreaInfo& gap1 = slot.area(AreaKind::GAP1);
        const AreaInfo& gap3 = slot.area(AreaKind::GAP3);
        const AreaInfo& gap4 = slot.area(AreaKind::GAP4);
        const AreaInfo& id = slot.area(AreaKind::ID);
        const AreaInfo& data = slot.area(AreaKind::DATA);
        const uint32_t field_bs = uint32_t{id.BS} + data.BS;
        const uint32_t gap_idg = uint32_t{gap1.IDG} + gap3.IDG + gap4.IDG;
        const uint32_t gap_bs = uint32_t{gap1.BS} + gap3.BS + gap4.BS;

        if (field_bs != 0)               list.add(slot.S, ProtType::SID, as_value(field_bs));
        if (judge_gaps && gap_idg != 0)  list.add(slot.S, ProtType::IDG, as_value(gap_idg));
        if (judge_gaps && gap_bs != 0)   list.add(slot.S, ProtType::ISS, as_value(gap_bs));
    });
}

void check_id_protections(Prot_list& list, const IdLayout& ids, const ByteBuffer& id_buffer) {
    const uint32_t n = ids.id_count;
    if (n < kMinSectors || n > kMaxSectors) list.add(-1, ProtType::NOS, as_value(n));

    for (uint32_t i = 0; i < n; ++i) {
        const std::optional<IdFieldBytes> f = read_id_field(id_buffer, i);
        if (!f) continue;
        const int32_t S = f->S;

        if (f->mark == kIdMarkNonStandard)                  list.add(S, ProtType::NSI, 255);
        if (marks::is_gap_mark(f->S))                       list.add(S, ProtType::ISN, -1);
        for (uint32_t j = i + 1; j < n; ++j) {
            const std::optional<IdFieldBytes> later = read_id_field(id_buffer, j);
            if (later && later->S == f->S)                  list.add(S, ProtType::DSN, -1);
        }
        if (ids.ids[i].crc != 0)                            list.add(S, ProtType::SBI, -1);
        if (f->Z < 2 || f->Z > 3 || f->H > 1)               list.add(S, ProtType::IIF, -1);
    }
}

void check_sector_protections(Prot_list& list, const SectorLayout& sector, const ByteBuffer& buffer,
                              uint32_t prev_data_end) {
    const int32_t S = sector.S;
    const AreaInfo& data = sector.area(AreaKind::DATA);
    const AreaInfo& gap3 = sector.area(AreaKind::GAP3);
    const AreaInfo& gap4 = sector.area(AreaKind::GAP4);

    // Without a data field nothing else of the sector can be judged.
    if (data.bytes == 0) {
        list.add(S, ProtType::SND, -1);
        return;
    }

    const std::optional<uint8_t> mark = read_data_mark(buffer, sector.data_start);
    const uint32_t long_limit_ns = uint32_t{data.bytes} * kLongSectorNsPerByte;
    const uint32_t short_limit_ns = uint32_t{data.bytes} * kShortSectorNsPerByte;
    const bool drifts = data.under_clocked > kDriftBytes && data.over_clocked > kDriftBytes &&
                        data.BRD < kCleanFluxFaults && data.TMV < kCleanFluxFaults;
    const uint32_t drift_bytes = uint32_t{data.under_clocked} + data.over_clocked;
    const uint32_t gap_idg = uint32_t{gap3.IDG} + gap4.IDG;
    const uint32_t gap_bs = uint32_t{gap3.BS} + gap4.BS;

    if (mark && *mark != kDataMarkStandard)     list.add(S, ProtType::NSD, *mark);
    if (sector.Z < 2 || sector.Z > 3)           list.add(S, ProtType::SSZ, sector.Z);
    if (data.crc != 0)                          list.add(S, ProtType::SBD, -1);
    if (data.position_ns < prev_data_end)       list.add(S, ProtType::SWS, -1);
    if (data.BRD != 0)                          list.add(S, ProtType::FAA, data.BRD);
    if (data.TMV != 0)                          list.add(S, ProtType::MTV, data.TMV);
    if (data.position_ns > kRevolutionNs)       list.add(S, ProtType::DBI, as_us(data.position_ns));
    else if (sector.DOI != 0)                   list.add(S, ProtType::DOI, sector.DOI);
    if (data.length_ns > long_limit_ns)         list.add(S, ProtType::LGS, as_us(data.length_ns));
    if (data.length_ns < short_limit_ns)        list.add(S, ProtType::SHS, as_us(data.length_ns));
    if (drifts)                                 list.add(S, ProtType::IBV, as_value(drift_bytes));
    if (sector.FZP != 0)                        list.add(S, ProtType::FZD, sector.FZP);
    if (gap_idg != 0)                           list.add(S, ProtType::IDG, as_value(gap_idg));
    if (gap_bs != 0)                            list.add(S, ProtType::ISS, as_value(gap_bs));
}

}  // namespace quen
