#include "disk/summary.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <tuple>

#include "protect/prot.h"
#include "report/format.h"

namespace quen::disk {
namespace {

// trackNN.S.raw: two digits of track, one of side, as the capture device names them.
bool parse_stream_name(const std::string& name, int& track, int& side) {
    static constexpr char kPrefix[] = "track";
    static constexpr char kSuffix[] = ".raw";
    const size_t prefix = sizeof kPrefix - 1;
    const size_t suffix = sizeof kSuffix - 1;
    if (name.size() != prefix + 2 + 1 + 1 + suffix) return false;
    if (name.compare(0, prefix, kPrefix) != 0 || name.compare(name.size() - suffix, suffix, kSuffix) != 0) return false;
    const char* p = name.c_str() + prefix;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (!digit(p[0]) || !digit(p[1]) || p[2] != '.' || (p[3] != '0' && p[3] != '1')) return false;
    track = (p[0] - '0') * 10 + (p[1] - '0');
    side = p[3] - '0';
    return true;
}

std::string failure_reason(RunFailure failure, const RunFigures& f) {
    char text[160];
    switch (failure) {
    case RunFailure::None: return "";
    case RunFailure::Usage: return "options refused by the analyser";
    case RunFailure::Unreadable: return "cannot read the file";
    case RunFailure::Undecodable: return "not a stream file that can be decoded";
    case RunFailure::TooFewRevolutions:
        std::snprintf(text, sizeof text, "%d revolutions, 3 needed", f.revolutions);
        return text;
    case RunFailure::RevolutionOutOfRange:
        std::snprintf(text, sizeof text, "revolution %d not in the stream (1 to %d)", f.requested_revolution,
                      f.revolutions);
        return text;
    case RunFailure::OutputNotCreatable: return "cannot create the report file";
    case RunFailure::WriteFailed: return "cannot write the report file";
    }
    return "failed";
}

bool same_finding(const FindingFigure& a, const FindingFigure& b) { return a.kind == b.kind && a.sector == b.sector; }

// The sector decoder and the findings know sectors by number; a number found twice on a
// track gives both its places the same colour.
void place_sectors(TrackSummary& t, const RunFigures& main) {
    const auto weak = [&](uint8_t n) {
        return std::any_of(main.sectors.begin(), main.sectors.end(),
                           [&](const SectorFigure& s) { return s.sector == n && s.fuzzy_position != 0; });
    };
    // The artefacts of the synch search inside fields are no property of the disk.
    const auto named = [&](uint8_t n) {
        return std::any_of(t.findings.begin(), t.findings.end(),
                           [&](const Finding& f) { return f.sector == n && f.survives_no_sync; });
    };
    t.map.clear();
    for (const PlacedSectorFigure& p : main.placed) {
        MapSector m{p.sector, p.id, p.data, FieldState::Good, FieldState::Good};
        const bool finding = named(p.sector);
        m.id_state = !p.id_crc_ok ? FieldState::BadCrc : finding ? FieldState::Finding : FieldState::Good;
        if (weak(p.sector)) {
            m.data_state = FieldState::Weak;
        } else if (!p.data_crc_ok) {
            m.data_state = FieldState::BadCrc;
        } else if (p.mark == DataMark::kDeleted) {
            m.data_state = FieldState::Deleted;
        } else if (finding) {
            m.data_state = FieldState::Finding;
        }
        t.map.push_back(m);
    }
}

}  // namespace

const char* status_word(TrackStatus s) {
    switch (s) {
    case TrackStatus::Failed: return "failed";
    case TrackStatus::Protected: return "protected";
    case TrackStatus::Faults: return "faults";
    case TrackStatus::DefaultModeOnly: return "default-mode-only";
    case TrackStatus::Clean: return "clean";
    }
    return "clean";
}

const char* field_state_word(FieldState s) {
    switch (s) {
    case FieldState::Weak: return "weak";
    case FieldState::BadCrc: return "bad-crc";
    case FieldState::Finding: return "finding";
    case FieldState::Deleted: return "deleted";
    case FieldState::Note: return "note";
    case FieldState::Good: return "good";
    }
    return "good";
}

int TrackSummary::findings_only_default_mode() const {
    return static_cast<int>(
        std::count_if(findings.begin(), findings.end(), [](const Finding& f) { return !f.survives_no_sync; }));
}

DiskListing list_disk(const std::string& dir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw DiskError{"'" + dir + "' is not a folder"};
    DiskListing listing;
    fs::directory_iterator it(dir, ec);
    if (ec) throw DiskError{"cannot list '" + dir + "': " + ec.message()};
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        TrackSummary t;
        std::error_code type_ec;
        if (parse_stream_name(name, t.track, t.side) && it->is_regular_file(type_ec)) {
            t.file_name = name;
            t.input_path = path_in(dir, name);
            listing.tracks.push_back(std::move(t));
        } else {
            listing.skipped.push_back(name);
        }
    }
    if (ec) throw DiskError{"cannot list '" + dir + "': " + ec.message()};
    std::sort(listing.tracks.begin(), listing.tracks.end(), [](const TrackSummary& a, const TrackSummary& b) {
        return std::tie(a.track, a.side) < std::tie(b.track, b.side);
    });
    std::sort(listing.skipped.begin(), listing.skipped.end());
    return listing;
}

void summarise_track(TrackSummary& t, const RunFigures& main, const RunFigures* no_sync) {
    // A run that names no failure yet stops short of its protection list lost its report on the way.
    t.failure = main.failure == RunFailure::None && !main.completed ? RunFailure::WriteFailed : main.failure;
    t.failure_reason = failure_reason(t.failure, main);
    t.revolutions = main.revolutions;
    t.rpm_avg = main.rpm_avg;
    t.stream_info = main.stream_info;
    if (!t.analysed()) {
        t.status = TrackStatus::Failed;
        return;
    }
    t.bytes = main.track_bytes > 0 ? static_cast<uint32_t>(main.track_bytes) : 0;
    t.length_ms = report_text::ms_real(main.track_ns);
    t.id_good = main.id_good;
    t.id_bad = main.id_bad;
    t.data_good = main.data_good;
    t.data_bad = main.data_bad;
    t.sectors_found = static_cast<int>(main.sectors.size());
    t.sectors_ok = 0;
    t.fuzzy_sectors = 0;
    for (const SectorFigure& s : main.sectors) {
        if (s.id_crc_ok && s.data_crc_ok) ++t.sectors_ok;
        if (s.fuzzy_position != 0) ++t.fuzzy_sectors;
    }

    // A bad CRC leaves the cylinder and head bytes in doubt: only good ID fields accuse the capture.
    t.foreign_ids.clear();
    for (const IdFigure& id : main.ids) {
        if (!id.crc_ok || (id.cylinder == t.track && id.head == t.side)) continue;
        auto known = std::find_if(t.foreign_ids.begin(), t.foreign_ids.end(), [&](const ForeignId& f) {
            return f.cylinder == id.cylinder && f.head == id.head;
        });
        if (known == t.foreign_ids.end()) {
            t.foreign_ids.push_back({id.cylinder, id.head, 1});
        } else {
            ++known->count;
        }
    }

    t.findings.clear();
    bool survivors = false;
    for (const FindingFigure& f : main.findings) {
        const ProtInfo& info = prot_info(f.kind);
        Finding out{f.kind, info.abbrev, info.name, f.sector, f.value, true};
        if (no_sync != nullptr) {
            out.survives_no_sync = no_sync->completed &&
                std::any_of(no_sync->findings.begin(), no_sync->findings.end(),
                            [&](const FindingFigure& g) { return same_finding(f, g); });
        }
        survivors = survivors || out.survives_no_sync;
        t.findings.push_back(std::move(out));
    }

    t.track_ns = main.track_ns;
    t.timing = main.timing;
    place_sectors(t, main);

    if (survivors) {
        t.status = TrackStatus::Protected;
    } else if (t.sectors_ok < t.sectors_found || !t.foreign_ids.empty()) {
        t.status = TrackStatus::Faults;
    } else if (!t.findings.empty()) {
        t.status = TrackStatus::DefaultModeOnly;
    } else {
        t.status = TrackStatus::Clean;
    }
}

DiskTotals total_of(const std::vector<TrackSummary>& tracks) {
    DiskTotals d;
    for (const TrackSummary& t : tracks) {
        ++d.tracks;
        if (!t.analysed()) {
            ++d.failed;
            continue;
        }
        ++d.analysed;
        d.id_good += t.id_good;
        d.id_bad += t.id_bad;
        d.data_good += t.data_good;
        d.data_bad += t.data_bad;
        d.sectors_ok += t.sectors_ok;
        d.sectors_found += t.sectors_found;
        d.fuzzy_sectors += t.fuzzy_sectors;
        d.findings += static_cast<int>(t.findings.size());
        d.findings_only_default_mode += t.findings_only_default_mode();
        if (!t.foreign_ids.empty()) ++d.tracks_with_foreign_ids;
    }
    return d;
}

}  // namespace quen::disk
