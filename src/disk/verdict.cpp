#include "disk/verdict.h"

#include <algorithm>
#include <map>

#include "protect/prot.h"

namespace quen::disk {
namespace {

// Size codes above this give no size a double-density track can hold.
constexpr int kLargestSizeCode = 7;

// The size the track's IDs name most often, ties to the smaller code.
int common_size(const TrackSummary& t) {
    std::map<int, int> votes;
    for (const SectorSummary& s : t.sectors) ++votes[std::min<int>(s.size_code, kLargestSizeCode)];
    int best = 2;
    int most = 0;
    for (const auto& [code, n] : votes) {
        if (n > most) {
            best = code;
            most = n;
        }
    }
    return 128 << best;
}

// Shown in full up to this many; beyond, the rest are counted.
constexpr size_t kListedSectors = 12;

std::string sector_list(const DiskSummary& disk, const std::vector<SectorRef>& refs) {
    std::string text;
    for (size_t i = 0; i < refs.size() && i < kListedSectors; ++i) {
        if (!text.empty()) text += ", ";
        text += track_side_name(disk.tracks[refs[i].track_side]) + " sector " + std::to_string(refs[i].sector);
    }
    if (refs.size() > kListedSectors) text += ", and " + std::to_string(refs.size() - kListedSectors) + " more";
    return text;
}

std::vector<size_t> sides_of(const std::vector<SectorRef>& refs) {
    std::vector<size_t> sides;
    for (const SectorRef& r : refs) {
        if (sides.empty() || sides.back() != r.track_side) sides.push_back(r.track_side);
    }
    return sides;
}

}  // namespace

std::string track_side_name(const TrackSummary& t) {
    char text[24];
    std::snprintf(text, sizeof text, "%02d.%d", t.track, t.side);
    return text;
}

DiskVerdict verdict_of(const DiskSummary& disk) {
    DiskVerdict v;
    for (size_t i = 0; i < disk.tracks.size(); ++i) {
        const TrackSummary& t = disk.tracks[i];
        if (!t.analysed()) continue;
        if (t.status == TrackStatus::Unformatted) {
            v.unformatted.push_back(i);
            continue;
        }
        const int sectors = t.sectors_found;
        const int size = common_size(t);
        auto group = std::find_if(v.formats.begin(), v.formats.end(),
                                  [&](const FormatGroup& g) { return g.sectors == sectors && g.size == size; });
        if (group == v.formats.end()) group = v.formats.insert(v.formats.end(), FormatGroup{sectors, size, {}});
        group->track_sides.push_back(i);

        for (const SectorSummary& s : t.sectors) {
            if (!s.reads) v.unreadable.push_back({i, s.sector});
            if (s.weak) v.weak.push_back({i, s.sector});
            if (s.deleted) v.deleted.push_back({i, s.sector});
        }
        v.sectors_read += t.sectors_ok;
        v.sectors_found += t.sectors_found;
        v.notes += static_cast<int>(t.notes.size());
        for (const Finding& f : t.findings) {
            if (!f.survives_no_sync || f.incidental) continue;
            if (f.kind == static_cast<int32_t>(ProtType::FZD)) continue;
            if (f.kind == static_cast<int32_t>(ProtType::NSD) && f.value == 0xF8) continue;
            v.protections.push_back({i, f.code, f.sector});
        }
    }
    return v;
}

std::string track_side_ranges(const DiskSummary& disk, const std::vector<size_t>& sides) {
    std::string text;
    for (size_t i = 0; i < sides.size();) {
        size_t j = i;
        while (j + 1 < sides.size() && sides[j + 1] == sides[j] + 1) ++j;
        if (!text.empty()) text += ", ";
        text += track_side_name(disk.tracks[sides[i]]);
        if (j > i) {
            text += '-';
            text += track_side_name(disk.tracks[sides[j]]);
        }
        i = j + 1;
    }
    return text;
}

void write_verdict(FILE* out, const DiskSummary& disk, const DiskVerdict& v) {
    std::fprintf(out, "Verdict:\n");
    for (const FormatGroup& g : v.formats) {
        std::fprintf(out, "  %d x %d bytes on %zu track side%s (%s)\n", g.sectors, g.size, g.track_sides.size(),
                     g.track_sides.size() == 1 ? "" : "s", track_side_ranges(disk, g.track_sides).c_str());
    }
    if (!v.unformatted.empty()) {
        std::fprintf(out, "  unformatted: %s\n", track_side_ranges(disk, v.unformatted).c_str());
    }
    if (!v.weak.empty()) std::fprintf(out, "  weak: %s\n", sector_list(disk, v.weak).c_str());
    if (!v.deleted.empty()) {
        std::fprintf(out, "  deleted data: %zu sector%s on %s\n", v.deleted.size(), v.deleted.size() == 1 ? "" : "s",
                     track_side_ranges(disk, sides_of(v.deleted)).c_str());
    }
    if (!v.unreadable.empty()) std::fprintf(out, "  unreadable: %s\n", sector_list(disk, v.unreadable).c_str());
    if (!v.protections.empty()) {
        std::string text;
        for (size_t i = 0; i < v.protections.size() && i < kListedSectors; ++i) {
            const ProtectionRef& p = v.protections[i];
            if (!text.empty()) text += ", ";
            text += track_side_name(disk.tracks[p.track_side]);
            text += ' ';
            text += p.code;
            if (p.sector >= 0) {
                text += '(';
                text += std::to_string(p.sector);
                text += ')';
            }
        }
        if (v.protections.size() > kListedSectors) {
            text += ", and " + std::to_string(v.protections.size() - kListedSectors) + " more";
        }
        std::fprintf(out, "  protections: %s\n", text.c_str());
    }
    if (v.notes > 0) {
        std::fprintf(out, "  notes: %d incidental sync pattern%s in fields that read correctly\n", v.notes,
                     v.notes == 1 ? "" : "s");
    }
    std::fprintf(out, "  %d of %d sectors read\n", v.sectors_read, v.sectors_found);
}

}  // namespace quen::disk
