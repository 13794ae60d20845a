#include "disk/summary.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <tuple>

#include "decode/marks.h"
#include "disk/track_names.h"
#include "protect/prot.h"
#include "stream/scp.h"
#include "stream/stream.h"
#include "report/format.h"

namespace quen::disk {
namespace {

// Why the stream decoder gave up, in a user's words: bytes that held flux before they
// broke off are a capture cut short, anything else is no capture at all.
const char* stream_fault(const RunFigures& f) {
    if (f.intervals_before_error == 0) return "not a stream file that can be decoded";
    switch (f.stream_error) {
    case kStreamTruncated:
    case kStreamNoEof: return "a truncated stream file";
    case kStreamIndexBeyondEnd:
    case kStreamIndexUnresolved: return "a stream file whose index pulses cannot be placed";
    default: return "a stream file with a fault in its blocks";
    }
}

std::string failure_reason(RunFailure failure, const RunFigures& f) {
    char text[160];
    switch (failure) {
    case RunFailure::None: return "";
    case RunFailure::Usage: return "options refused by the analyser";
    case RunFailure::Unreadable:
        return f.system_error != 0 ? std::string("cannot read the file: ") + std::strerror(f.system_error)
                                   : "cannot read the file";
    case RunFailure::Undecodable: return stream_fault(f);
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

// Why an entry named like a stream file is none: empty when it is a regular file,
// links followed.
std::string not_a_file_reason(const std::filesystem::path& entry) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(entry, ec);
    if (ec) {
        if (ec == std::errc::too_many_symbolic_link_levels) return "a loop of symbolic links";
        if (fs::is_symlink(fs::symlink_status(entry, ec))) return "a symbolic link to nothing";
        return "cannot read the file";
    }
    switch (st.type()) {
    case fs::file_type::regular: return "";
    case fs::file_type::directory: return "a folder, not a file";
    case fs::file_type::fifo: return "a FIFO, not a file";
    case fs::file_type::socket: return "a socket, not a file";
    case fs::file_type::block:
    case fs::file_type::character: return "a device, not a file";
    case fs::file_type::not_found: return "a symbolic link to nothing";
    default: return "not a regular file";
    }
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
    const auto noted = [&](uint8_t n) {
        return std::any_of(t.notes.begin(), t.notes.end(), [&](const Finding& f) { return f.sector == n; });
    };
    t.map.clear();
    for (const PlacedSectorFigure& p : main.placed) {
        MapSector m{p.sector, p.id, p.data, FieldState::Good, FieldState::Good};
        const bool finding = named(p.sector);
        // A bad CRC where an incidental sync pattern re-framed a field that reads well
        // without the in-field search is the note, not a fault of the disk.
        const FieldState bad = noted(p.sector) ? FieldState::Note : FieldState::BadCrc;
        m.id_state = !p.id_crc_ok ? bad : finding ? FieldState::Finding : noted(p.sector) ? FieldState::Note
                                                                                          : FieldState::Good;
        if (weak(p.sector)) {
            m.data_state = FieldState::Weak;
        } else if (!p.data_crc_ok) {
            m.data_state = bad;
        } else if (p.mark == DataMark::kDeleted) {
            m.data_state = FieldState::Deleted;
        } else if (finding) {
            m.data_state = FieldState::Finding;
        } else if (noted(p.sector)) {
            m.data_state = FieldState::Note;
        }
        t.map.push_back(m);
    }
}

// Whether the sync patterns that sector `sector`'s fields show are incidental: every sector
// of that number read with good CRCs in the sector decoder's framing, and no run of the
// patterns leads to an address mark (a sector within a sector).
bool incidental_syncs(const RunFigures& f, int32_t sector) {
    bool any = false;
    for (const SectorFigure& s : f.sectors) {
        if (s.sector != sector) continue;
        if (!s.id_crc_ok || !s.has_data || !s.data_crc_ok || s.field_sync_then_mark) return false;
        any = true;
    }
    return any;
}

}  // namespace

const char* status_word(TrackStatus s) {
    switch (s) {
    case TrackStatus::Failed: return "failed";
    case TrackStatus::Unformatted: return "unformatted";
    case TrackStatus::Protected: return "protected";
    case TrackStatus::Faults: return "faults";
    case TrackStatus::Clean: return "clean";
    }
    return "clean";
}

int TrackSummary::findings_only_default_mode() const {
    return static_cast<int>(
        std::count_if(findings.begin(), findings.end(), [](const Finding& f) { return !f.survives_no_sync; }));
}

namespace {

void sort_tracks(std::vector<TrackSummary>& tracks) {
    std::sort(tracks.begin(), tracks.end(), [](const TrackSummary& a, const TrackSummary& b) {
        return std::tie(a.track, a.side) < std::tie(b.track, b.side);
    });
}

InputListing list_folder(const std::string& dir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    InputListing listing;
    std::map<std::string, DiskListing> by_prefix;
    fs::directory_iterator it(dir, ec);
    if (ec) throw DiskError{"cannot list '" + dir + "': " + ec.message()};
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::optional<StreamName> parsed = parse_stream_name(name);
        if (!parsed) {
            listing.skipped.push_back(name);
            if (looks_like_a_stream_name(name)) listing.near_misses.push_back(name);
            continue;
        }
        TrackSummary t;
        t.track = parsed->track;
        t.side = parsed->side;
        t.file_name = name;
        t.input_path = path_in(dir, name);
        // A track side that is there by name but cannot be read must not vanish from
        // the summary: it fails with its reason, and is never opened.
        t.failure_reason = not_a_file_reason(it->path());
        if (!t.failure_reason.empty()) {
            t.failure = RunFailure::Unreadable;
            t.status = TrackStatus::Failed;
        }
        by_prefix[parsed->prefix].tracks.push_back(std::move(t));
    }
    if (ec) throw DiskError{"cannot list '" + dir + "': " + ec.message()};
    std::sort(listing.skipped.begin(), listing.skipped.end());
    std::sort(listing.near_misses.begin(), listing.near_misses.end());
    for (auto& [prefix, disk] : by_prefix) {
        // A folder of one disk is that disk: it keeps the folder's name.
        disk.name = by_prefix.size() == 1 ? input_name(dir) : disk_name_of_prefix(prefix);
        disk.input = dir;
        disk.skipped = listing.skipped;
        sort_tracks(disk.tracks);
        listing.disks.push_back(std::move(disk));
    }
    return listing;
}

InputListing list_image(const std::string& path) {
    auto bytes = std::make_shared<FileBytes>();
    if (const int error = read_whole_file(path, *bytes); error != 0) {
        throw DiskError{"cannot read '" + path + "': " + std::strerror(error)};
    }
    std::string fault;
    const std::vector<TrackSide> sides = scp_track_sides(bytes->bytes.get(), bytes->length, fault);
    if (!fault.empty()) throw DiskError{"SCP file '" + path + "': " + fault};
    const std::string file = std::filesystem::path(path).filename().string();
    DiskListing disk;
    disk.input = path;
    disk.name = input_name(path);
    for (const TrackSide& side : sides) {
        TrackSummary t;
        t.track = side.cylinder;
        t.side = side.side;
        t.file_name = image_track_side_name(file, side.cylinder, side.side);
        t.input_path = path;
        disk.tracks.push_back(std::move(t));
    }
    disk.image = std::move(bytes);
    InputListing listing;
    listing.disks.push_back(std::move(disk));
    return listing;
}

}  // namespace

std::string input_name(const std::string& input) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path p = fs::absolute(input, ec).lexically_normal();
    if (p.filename().empty()) p = p.parent_path();
    const std::string name = fs::is_directory(p, ec) ? p.filename().string() : p.stem().string();
    return name.empty() ? "untitled" : name;
}

InputListing list_input(const std::string& input) {
    std::error_code ec;
    if (std::filesystem::is_directory(input, ec)) return list_folder(input);
    if (file_holds_scp_image(input)) return list_image(input);
    if (std::filesystem::exists(input, ec)) throw DiskError{"'" + input + "' is neither a folder nor an SCP image"};
    throw DiskError{"'" + input + "' is not a folder"};
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

    t.image_sectors.clear();
    for (size_t i = 0; i < main.sectors.size(); ++i) {
        const SectorFigure& f = main.sectors[i];
        image::Sector s{f.cylinder, f.head, f.sector, f.size_code, f.id_crc_ok, f.readings};
        // A sector the decoder did not meet in the analysed revolution is known by the locator's ID field.
        if (!f.found && i < main.ids.size()) {
            const IdFigure& id = main.ids[i];
            s = {id.cylinder, id.head, id.sector, id.size_code, id.crc_ok, f.readings};
        }
        t.image_sectors.push_back(std::move(s));
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

    t.sectors.clear();
    for (size_t i = 0; i < main.sectors.size(); ++i) {
        const SectorFigure& s = main.sectors[i];
        SectorSummary out;
        out.sector = s.sector;
        out.size_code = i < main.ids.size() ? main.ids[i].size_code : 0;
        out.reads = s.id_crc_ok && s.data_crc_ok;
        out.weak = s.fuzzy_position != 0;
        out.deleted = s.has_data && marks::is_deleted_data_mark(s.data_mark);
        t.sectors.push_back(out);
    }

    t.cross_checked = no_sync != nullptr && no_sync->completed;
    if (t.cross_checked) t.no_sync = {no_sync->id_good, no_sync->id_bad, no_sync->data_good, no_sync->data_bad};

    t.findings.clear();
    t.notes.clear();
    bool protection = false;
    for (const FindingFigure& f : main.findings) {
        const ProtInfo& info = prot_info(f.kind);
        Finding out{f.kind, info.abbrev, info.name, f.sector, f.value, true, false};
        if (no_sync != nullptr) {
            out.survives_no_sync = no_sync->completed &&
                std::any_of(no_sync->findings.begin(), no_sync->findings.end(),
                            [&](const FindingFigure& g) { return same_finding(f, g); });
        }
        out.incidental = f.kind == static_cast<int32_t>(ProtType::SID) && incidental_syncs(main, f.sector);
        protection = protection || (out.survives_no_sync && !out.incidental);
        (out.incidental ? t.notes : t.findings).push_back(std::move(out));
    }

    t.track_ns = main.track_ns;
    t.timing = main.timing;
    place_sectors(t, main);

    // What fails whichever way the fields are searched: the sector decoder's reading, and
    // the track decoder's counts where both runs have the fault.
    const FieldCounts plain = t.cross_checked ? t.no_sync : t.counts();
    const bool field_faults = std::min(t.id_bad, plain.id_bad) > 0 || std::min(t.data_bad, plain.data_bad) > 0;
    if (main.ids.empty() && t.id_good == 0 && t.id_bad == 0) {
        t.status = TrackStatus::Unformatted;
    } else if (protection) {
        t.status = TrackStatus::Protected;
    } else if (t.sectors_ok < t.sectors_found || !t.foreign_ids.empty() || field_faults) {
        t.status = TrackStatus::Faults;
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
        d.notes += static_cast<int>(t.notes.size());
        const FieldCounts plain = t.cross_checked ? t.no_sync : t.counts();
        d.no_sync.id_good += plain.id_good;
        d.no_sync.id_bad += plain.id_bad;
        d.no_sync.data_good += plain.data_good;
        d.no_sync.data_bad += plain.data_bad;
        if (!t.foreign_ids.empty()) ++d.tracks_with_foreign_ids;
    }
    return d;
}

}  // namespace quen::disk
