#include "disk/outputs.h"

#include <cstring>
#include <utility>

#include <nlohmann/json.hpp>

#include "disk/verdict.h"

namespace quen::disk {
namespace {

// What a CSV cell holds: a spreadsheet reads text that starts like a formula as one.
enum class Cell : uint8_t { kNumber, kText };

// A text that would start a formula (= + - @, and the tab and carriage return that some
// spreadsheets skip before one) gets a leading ', which they show as text. Folder and
// file names come from whoever made the dump.
constexpr const char* kFormulaStarts = "=+-@\t\r";

// RFC 4180: a field with a separator, a quote or a line break is quoted, its quotes doubled.
std::string csv_field(const std::string& value, Cell kind) {
    std::string s = value;
    if (kind == Cell::kText && !s.empty() && std::strchr(kFormulaStarts, s[0]) != nullptr) s.insert(0, 1, '\'');
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + "\"";
}

std::string fixed3(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", v);
    return text;
}

const char* const kCsvColumns[] = {
    "disk", "file", "track", "side", "status", "revolutions", "rpm", "bytes", "length_ms", "id_good", "id_bad",
    "data_good", "data_bad", "sectors_ok", "sectors_found", "fuzzy_sectors", "ids_carry", "findings",
    "findings_only_default_mode", "failure", "report", "id_good_no_sync", "id_bad_no_sync", "data_good_no_sync",
    "data_bad_no_sync", "notes", "input",
};

// Each finding as code:sector:value:survives, separated by blanks; -1 stands for none.
std::string csv_findings(const std::vector<Finding>& findings) {
    std::string s;
    for (const Finding& f : findings) {
        if (!s.empty()) s += ' ';
        s += f.code + ":" + std::to_string(f.sector) + ":" + std::to_string(f.value) + ":" +
             (f.survives_no_sync ? "1" : "0");
    }
    return s;
}

// "good/bad", each figure marked when the run without the in-field synch search counts otherwise.
std::string marked_pair(int good, int good_plain, int bad, int bad_plain, bool cross_checked) {
    const auto one = [&](int v, int plain) {
        return std::to_string(v) + (cross_checked && v != plain ? kDefaultOnlyMark : "");
    };
    return one(good, good_plain) + "/" + one(bad, bad_plain);
}

nlohmann::ordered_json json_findings(const std::vector<Finding>& findings) {
    using nlohmann::ordered_json;
    ordered_json list = ordered_json::array();
    for (const Finding& f : findings) {
        list.push_back({{"kind", f.kind},
                        {"code", f.code},
                        {"name", f.name},
                        {"sector", f.sector < 0 ? ordered_json(nullptr) : ordered_json(f.sector)},
                        {"value", f.value < 0 ? ordered_json(nullptr) : ordered_json(f.value)},
                        {"survives_no_sync", f.survives_no_sync}});
    }
    return list;
}

nlohmann::ordered_json json_verdict(const DiskSummary& disk, const DiskVerdict& v) {
    using nlohmann::ordered_json;
    const auto name = [&](size_t i) { return track_side_name(disk.tracks[i]); };
    const auto names = [&](const std::vector<size_t>& sides) {
        ordered_json list = ordered_json::array();
        for (size_t i : sides) list.push_back(name(i));
        return list;
    };
    const auto sectors = [&](const std::vector<SectorRef>& refs) {
        ordered_json list = ordered_json::array();
        for (const SectorRef& r : refs) list.push_back({{"track_side", name(r.track_side)}, {"sector", r.sector}});
        return list;
    };
    ordered_json formats = ordered_json::array();
    for (const FormatGroup& g : v.formats) {
        formats.push_back({{"sectors", g.sectors}, {"size", g.size}, {"track_sides", names(g.track_sides)}});
    }
    ordered_json protections = ordered_json::array();
    for (const ProtectionRef& p : v.protections) {
        protections.push_back({{"track_side", name(p.track_side)},
                               {"code", p.code},
                               {"sector", p.sector < 0 ? ordered_json(nullptr) : ordered_json(p.sector)}});
    }
    return {{"formats", formats},
            {"unformatted", names(v.unformatted)},
            {"unreadable", sectors(v.unreadable)},
            {"weak", sectors(v.weak)},
            {"deleted", sectors(v.deleted)},
            {"protections", protections},
            {"notes", v.notes},
            {"sectors_read", v.sectors_read},
            {"sectors_found", v.sectors_found}};
}

}  // namespace

std::string notes_text(const TrackSummary& t) {
    TrackSummary only_notes;
    only_notes.findings = t.notes;
    return findings_text(only_notes);
}

std::string findings_text(const TrackSummary& t) {
    // Kinds in the order the list first names them, each with all its sectors; a finding
    // about the whole track has no sector and shows only its mark, if any.
    struct Kind {
        std::string code;
        std::string sectors;
        bool track_mark = false;
    };
    std::vector<Kind> kinds;
    for (const Finding& f : t.findings) {
        auto it = kinds.begin();
        while (it != kinds.end() && it->code != f.code) ++it;
        if (it == kinds.end()) it = kinds.insert(kinds.end(), Kind{f.code, "", false});
        if (f.sector < 0) {
            it->track_mark = it->track_mark || !f.survives_no_sync;
            continue;
        }
        if (!it->sectors.empty()) it->sectors += ',';
        it->sectors += std::to_string(f.sector);
        if (!f.survives_no_sync) it->sectors += kDefaultOnlyMark;
    }
    std::string text;
    for (const Kind& k : kinds) {
        if (!text.empty()) text += ' ';
        text += k.code;
        if (k.track_mark) text += kDefaultOnlyMark;
        if (!k.sectors.empty()) {
            text += '(';
            text += k.sectors;
            text += ')';
        }
    }
    return text;
}

std::string foreign_ids_text(const TrackSummary& t) {
    if (t.foreign_ids.empty()) return "-";
    std::string text;
    char pair[16];
    for (const ForeignId& f : t.foreign_ids) {
        std::snprintf(pair, sizeof pair, "%02d.%d", f.cylinder, f.head);
        if (!text.empty()) text += ',';
        text += pair;
    }
    return text;
}

void write_table(FILE* out, const DiskSummary& disk) {
    std::fprintf(out, "Track Side Revs     RPM Bytes  ID ok/bad Data ok/bad Sectors ok/found Fuzzy ID-C.H  "
                      "Status      Findings\n");
    bool any_marked = false;
    bool any_notes = false;
    for (const TrackSummary& t : disk.tracks) {
        if (!t.analysed()) {
            std::fprintf(out, "%5d %4d failed: %s\n", t.track, t.side, t.failure_reason.c_str());
            continue;
        }
        const FieldCounts& p = t.no_sync;
        const std::string ids = marked_pair(t.id_good, p.id_good, t.id_bad, p.id_bad, t.cross_checked);
        const std::string data = marked_pair(t.data_good, p.data_good, t.data_bad, p.data_bad, t.cross_checked);
        const std::string sectors = std::to_string(t.sectors_ok) + "/" + std::to_string(t.sectors_found);
        std::string findings = findings_text(t);
        if (findings.empty()) findings = "-";
        if (!t.notes.empty()) findings += "; notes: " + notes_text(t);
        std::fprintf(out, "%5d %4d %4d %7.2f %5u %10s %11s %16s %5d %-7s %-11s %s\n", t.track, t.side, t.revolutions,
                     t.rpm_avg, t.bytes, ids.c_str(), data.c_str(), sectors.c_str(), t.fuzzy_sectors,
                     foreign_ids_text(t).c_str(), status_word(t.status), findings.c_str());
        if (t.findings_only_default_mode() > 0 || (t.cross_checked && !(t.counts() == t.no_sync))) any_marked = true;
        any_notes = any_notes || !t.notes.empty();
    }
    const DiskTotals& d = disk.totals;
    std::string with_no_sync;
    if (disk.cross_checked) {
        with_no_sync = " (with -s: ID " + std::to_string(d.no_sync.id_good) + "/" + std::to_string(d.no_sync.id_bad) +
                       ", data " + std::to_string(d.no_sync.data_good) + "/" + std::to_string(d.no_sync.data_bad) + ")";
    }
    std::fprintf(out,
                 "Total: %d track sides, %d analysed, %d failed; ID %d/%d, data %d/%d%s, sectors %d/%d, %d fuzzy; "
                 "%d findings (%d only with the synch search inside fields), %d notes; %d with IDs of another "
                 "cylinder or head\n",
                 d.tracks, d.analysed, d.failed, d.id_good, d.id_bad, d.data_good, d.data_bad, with_no_sync.c_str(),
                 d.sectors_ok, d.sectors_found, d.fuzzy_sectors, d.findings, d.findings_only_default_mode, d.notes,
                 d.tracks_with_foreign_ids);
    if (any_marked) std::fprintf(out, "%s %s\n", kDefaultOnlyMark, kDefaultOnlyMeaning);
    if (any_notes) std::fprintf(out, "notes: %s\n", kNotesMeaning);
    if (!disk.cross_checked) std::fprintf(out, "Findings not cross-checked: -s was given.\n");
    write_verdict(out, disk, verdict_of(disk));
}

namespace {

void write_csv_records(FILE* out, const DiskSummary& disk) {
    bool first = true;
    for (const TrackSummary& t : disk.tracks) {
        const bool ok = t.analysed();
        const auto num = [ok](long v) { return ok ? std::to_string(v) : std::string(); };
        const auto plain = [&](long v) { return ok && t.cross_checked ? std::to_string(v) : std::string(); };
        const Cell T = Cell::kText;
        const Cell N = Cell::kNumber;
        const std::pair<std::string, Cell> fields[] = {
            {disk.name, T},
            {t.file_name, T},
            {std::to_string(t.track), N},
            {std::to_string(t.side), N},
            {status_word(t.status), T},
            {t.revolutions > 0 ? std::to_string(t.revolutions) : std::string(), N},
            {t.revolutions > 0 ? fixed3(t.rpm_avg) : std::string(), N},
            {num(t.bytes), N},
            {ok ? fixed3(t.length_ms) : std::string(), N},
            {num(t.id_good), N},
            {num(t.id_bad), N},
            {num(t.data_good), N},
            {num(t.data_bad), N},
            {num(t.sectors_ok), N},
            {num(t.sectors_found), N},
            {num(t.fuzzy_sectors), N},
            {ok && !t.foreign_ids.empty() ? foreign_ids_text(t) : std::string(), T},
            {csv_findings(t.findings), T},
            {num(t.findings_only_default_mode()), N},
            {t.failure_reason, T},
            {t.report_path, T},
            {plain(t.no_sync.id_good), N},
            {plain(t.no_sync.id_bad), N},
            {plain(t.no_sync.data_good), N},
            {plain(t.no_sync.data_bad), N},
            {csv_findings(t.notes), T},
            {disk.dir, T},
        };
        first = true;
        for (const auto& [value, kind] : fields) {
            std::fprintf(out, "%s%s", first ? "" : ",", csv_field(value, kind).c_str());
            first = false;
        }
        std::fprintf(out, "\r\n");
    }
}

nlohmann::ordered_json json_disk(const DiskSummary& disk) {
    using nlohmann::ordered_json;
    ordered_json tracks = ordered_json::array();
    for (const TrackSummary& t : disk.tracks) {
        ordered_json j;
        j["disk"] = disk.name;
        j["file"] = t.file_name;
        j["track"] = t.track;
        j["side"] = t.side;
        j["status"] = status_word(t.status);
        j["failure"] = t.analysed() ? ordered_json(nullptr) : ordered_json(t.failure_reason);
        j["revolutions"] = t.revolutions;
        j["rpm"] = t.rpm_avg;
        j["stream_info"] = t.stream_info;
        if (t.analysed()) {
            j["bytes"] = t.bytes;
            j["length_ms"] = t.length_ms;
            j["id_good"] = t.id_good;
            j["id_bad"] = t.id_bad;
            j["data_good"] = t.data_good;
            j["data_bad"] = t.data_bad;
            if (t.cross_checked) {
                j["id_good_no_sync"] = t.no_sync.id_good;
                j["id_bad_no_sync"] = t.no_sync.id_bad;
                j["data_good_no_sync"] = t.no_sync.data_good;
                j["data_bad_no_sync"] = t.no_sync.data_bad;
            }
            j["sectors_ok"] = t.sectors_ok;
            j["sectors_found"] = t.sectors_found;
            j["fuzzy_sectors"] = t.fuzzy_sectors;
            ordered_json ids = ordered_json::array();
            for (const ForeignId& f : t.foreign_ids) {
                ids.push_back({{"cylinder", f.cylinder}, {"head", f.head}, {"count", f.count}});
            }
            j["ids_carry"] = ids;
            j["findings"] = json_findings(t.findings);
            j["notes"] = json_findings(t.notes);
        }
        j["report"] = t.report_path.empty() ? ordered_json(nullptr) : ordered_json(t.report_path);
        tracks.push_back(std::move(j));
    }
    const DiskTotals& d = disk.totals;
    ordered_json doc;
    doc["disk"] = disk.dir;
    doc["name"] = disk.name;
    doc["outdir"] = disk.outdir.empty() ? ordered_json(nullptr) : ordered_json(disk.outdir);
    doc["options"] = disk.analyser_options;
    doc["cross_checked"] = disk.cross_checked;
    doc["tracks"] = tracks;
    doc["totals"] = {{"tracks", d.tracks},
                     {"analysed", d.analysed},
                     {"failed", d.failed},
                     {"id_good", d.id_good},
                     {"id_bad", d.id_bad},
                     {"data_good", d.data_good},
                     {"data_bad", d.data_bad},
                     {"sectors_ok", d.sectors_ok},
                     {"sectors_found", d.sectors_found},
                     {"fuzzy_sectors", d.fuzzy_sectors},
                     {"findings", d.findings},
                     {"findings_only_default_mode", d.findings_only_default_mode},
                     {"notes", d.notes},
                     {"tracks_with_foreign_ids", d.tracks_with_foreign_ids}};
    if (disk.cross_checked) {
        doc["totals"]["id_good_no_sync"] = d.no_sync.id_good;
        doc["totals"]["id_bad_no_sync"] = d.no_sync.id_bad;
        doc["totals"]["data_good_no_sync"] = d.no_sync.data_good;
        doc["totals"]["data_bad_no_sync"] = d.no_sync.data_bad;
    }
    doc["verdict"] = json_verdict(disk, verdict_of(disk));
    doc["skipped"] = disk.skipped;
    if (disk.image) {
        const ImageRecord& im = *disk.image;
        ordered_json image;
        image["file"] = im.file;
        image["written"] = im.written;
        image["refused"] = im.refusal.empty() ? ordered_json(nullptr) : ordered_json(im.refusal);
        if (im.refusal.empty()) {
            const image::Geometry& g = im.geometry;
            image["geometry"] = {{"cylinders", g.cylinders},
                                 {"heads", g.heads},
                                 {"sectors", g.sectors},
                                 {"first_sector", g.first_sector},
                                 {"sector_bytes", g.sector_bytes()}};
        } else {
            image["geometry"] = nullptr;
        }
        ordered_json bad = ordered_json::array();
        for (const image::FlaggedSector& f : im.flagged) {
            bad.push_back({{"cylinder", f.cylinder}, {"head", f.head}, {"sector", f.sector}, {"why", f.why},
                           {"filled", f.filled}});
        }
        image["bad_sectors"] = bad;
        doc["image"] = image;
    }
    return doc;
}

}  // namespace

void write_csv(FILE* out, const std::vector<DiskSummary>& disks) {
    bool first = true;
    for (const char* c : kCsvColumns) {
        std::fprintf(out, "%s%s", first ? "" : ",", c);
        first = false;
    }
    std::fprintf(out, "\r\n");
    for (const DiskSummary& disk : disks) write_csv_records(out, disk);
}

void write_json(FILE* out, const std::vector<DiskSummary>& disks) {
    nlohmann::ordered_json doc;
    if (disks.size() == 1) {
        doc = json_disk(disks.front());
    } else {
        doc["disks"] = nlohmann::ordered_json::array();
        for (const DiskSummary& disk : disks) doc["disks"].push_back(json_disk(disk));
    }
    // Names from the file system need not be UTF-8: replace what is not, never throw.
    const std::string text = doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fprintf(out, "%s\n", text.c_str());
}

}  // namespace quen::disk
