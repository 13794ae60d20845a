#include "disk/html.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "base/files.h"
#include "disk/disk_map.h"
#include "disk/html_text.h"
#include "disk/outputs.h"
#include "disk/track_names.h"
#include "disk/timing_svg.h"

namespace quen::disk {
namespace {

namespace fs = std::filesystem;
using html::escape;

// How each status looks. The glyph carries the status for readers who cannot tell
// the colours apart and on paper.
struct StatusLook {
    TrackStatus status;
    const char* glyph;
    const char* label;
    const char* short_label;  // in the summary table, where width is scarce
    const char* meaning;
};
constexpr StatusLook kLooks[] = {
    {TrackStatus::Clean, "\xE2\x9C\x93", "clean", "clean",
     "every sector found reads; at most notes (incidental sync patterns, findings only in the default mode)"},
    {TrackStatus::Faults, "!", "CRC or ID faults", "faults",
     "a sector that reads in neither mode, a CRC fault in both, or ID fields of another cylinder or head"},
    {TrackStatus::Protected, "P", "protected", "protected",
     "findings that remain with -s and are no incidental sync pattern"},
    {TrackStatus::Unformatted, "\xE2\x88\x85", "unformatted", "unformatted", "no ID field at all"},
    {TrackStatus::Failed, "\xC3\x97", "failed", "failed", "the file could not be analysed"},
};
constexpr const char* kNoFileClass = "none";
constexpr const char* kNoFileGlyph = "\xE2\x80\x93";

constexpr const char* kTrackPictures[][2] = {
    {"layout", "layout"}, {"trans", "flux transitions"}, {"allsect", "sectors side by side"}};

const StatusLook& look_of(TrackStatus s) {
    for (const StatusLook& l : kLooks) {
        if (l.status == s) return l;
    }
    return kLooks[0];
}

// The glyphs in the cells tell the statuses apart where colours do not: for readers
// with a colour-vision deficiency, and on a grey printout.
constexpr const char kStyle[] = R"CSS(
:root { color-scheme: light; }
body { font: 14px/1.45 system-ui, "DejaVu Sans", "Liberation Sans", Arial, sans-serif; color: #1f2328;
       background: #fff; margin: 0; padding: 1.25rem 1.75rem 2rem; }
h1 { font-size: 1.45rem; margin: 0 0 .2rem; word-break: break-all; }
h2 { font-size: 1.1rem; margin: 1.8rem 0 .6rem; padding-bottom: .25rem; border-bottom: 1px solid #d0d7de; }
.meta { color: #57606a; margin: 0 0 1rem; }
.meta code { color: #1f2328; background: #f6f8fa; padding: 0 .3em; border-radius: 4px; }
.totals { display: grid; grid-template-columns: repeat(auto-fill, minmax(10.5rem, 1fr)); gap: .5rem; margin: 0; }
.totals dl { border: 1px solid #d0d7de; border-radius: 6px; padding: .35rem .7rem; background: #f6f8fa; margin: 0; }
.totals dt { font-size: .72rem; color: #57606a; text-transform: uppercase; letter-spacing: .04em; }
.totals dd { margin: 0; font-size: 1.2rem; font-weight: 600; font-variant-numeric: tabular-nums; }
.totals .bad dd { color: #b42318; }
.scroll { overflow-x: auto; padding-bottom: .3rem; }
/* Narrow enough for 84 tracks side by side on a common screen. */
table.grid { border-collapse: separate; border-spacing: 1px; }
table.grid th { font-size: .58rem; font-weight: normal; color: #57606a; padding: 0; min-width: .85rem; }
table.grid th[scope=row] { text-align: right; padding-right: .45rem; white-space: nowrap; font-size: .8rem; }
table.grid td { width: .85rem; height: 1.6rem; padding: 0; text-align: center; font-size: .72rem;
                font-weight: 700; border-radius: 2px; }
table.grid td a { display: block; line-height: 1.6rem; color: inherit; text-decoration: none; }
table.grid td a:hover, table.grid td a:focus { outline: 2px solid #1f2328; outline-offset: 1px; }
.st-clean { background: #3f9b5a; color: #fff; }
.st-faults { background: #f2a33a; color: #3d2500; }
.st-protected { background: #5b5fc7; color: #fff; }
.st-unformatted { background: #d0d7de; color: #24292f; }
.notes-mark { color: #8c959f; font-weight: normal; }
table.grid td[data-notes] a::after { content: "\00B7"; }
.st-failed { background: #c4314b; color: #fff; }
.st-none { background: repeating-linear-gradient(45deg, #f3f4f6, #f3f4f6 3px, #e5e7eb 3px, #e5e7eb 6px);
           color: #57606a; }
.legend { list-style: none; padding: 0; margin: .7rem 0 0; display: flex; flex-wrap: wrap; gap: .4rem 1.4rem; }
.legend li { display: flex; align-items: center; gap: .45rem; }
.swatch { display: inline-block; width: 1.35rem; height: 1.35rem; line-height: 1.35rem; border-radius: 3px;
          text-align: center; font-weight: 700; font-size: .8rem; flex: none; }
.legend small { color: #57606a; }
table.summary { border-collapse: collapse; font-variant-numeric: tabular-nums; white-space: nowrap; font-size: .93rem; }
table.summary caption { text-align: left; color: #57606a; padding-bottom: .4rem; white-space: normal; }
table.summary th, table.summary td { border-bottom: 1px solid #d8dee4; padding: .28rem .45rem; text-align: right;
                                     vertical-align: top; }
table.summary thead th { background: #f6f8fa; border-bottom: 2px solid #d0d7de; position: sticky; top: 0;
                         font-size: .8rem; }
table.summary tbody tr:nth-child(even) { background: #fafbfc; }
table.summary tbody tr:target { background: #fff6cc; }
table.summary .text { text-align: left; }
table.summary td.status { text-align: left; }
table.summary td.status .swatch { width: 1.1rem; height: 1.1rem; line-height: 1.1rem; margin-right: .35rem;
                                  vertical-align: -.15rem; }
table.summary .reason { color: #b42318; white-space: normal; }
abbr { text-decoration: underline dotted; }
.note { color: #57606a; margin-top: .5rem; }
.pictures details { border: 1px solid #d0d7de; border-radius: 6px; margin: .4rem 0; padding: .3rem .8rem; }
.pictures summary { cursor: pointer; font-weight: 600; }
.pictures img { display: block; max-width: 100%; height: auto; margin: .6rem 0; background: #fff; }
.pictures p { margin: .2rem 0 .5rem; }
table.pics { border-collapse: collapse; margin-bottom: .6rem; }
table.pics th, table.pics td { padding: .1rem .8rem .1rem 0; text-align: left; }
table.pics thead th { font-weight: 600; color: #57606a; font-size: .8rem; }
.map svg { display: block; margin: .3rem 0; }
.map .scroll { max-height: 80vh; overflow: auto; }
.timing svg { display: block; max-width: 100%; height: auto; margin: .6rem 0; }
footer { margin-top: 2rem; color: #57606a; font-size: .8rem; }
)CSS";

using html::format;

std::string track_label(const TrackSummary& t) { return format("%02d.%d", t.track, t.side); }
std::string track_anchor(const TrackSummary& t) { return "track-" + track_label(t); }
// The anchors of the collapsed sections lie inside them: following a link to an
// element inside a closed section opens it, a link to the section itself does not.
std::string picture_anchor(const TrackSummary& t) { return "pictures-" + track_label(t); }
std::string timing_anchor(const TrackSummary& t) { return "timing-" + track_label(t); }

std::string rpm_text(double rpm) { return format("%.2f", rpm); }

// The names of the kinds of findings a track has, each once, for hovering the codes.
std::string finding_names(const TrackSummary& t) {
    std::vector<std::string> seen;
    std::string names;
    for (const Finding& f : t.findings) {
        if (std::find(seen.begin(), seen.end(), f.code) != seen.end()) continue;
        seen.push_back(f.code);
        names += (names.empty() ? "" : "\n") + f.code + ": " + f.name;
    }
    return names;
}

// "good / bad", each figure marked where the run without the in-field synch search counts otherwise.
std::string marked_pair(int good, int good_plain, int bad, int bad_plain) {
    const auto one = [](int v, int plain) { return std::to_string(v) + (v != plain ? kDefaultOnlyMark : ""); };
    return one(good, good_plain) + " / " + one(bad, bad_plain);
}

// The figures of the track's summary line, one group a line, for a cell's title.
std::string cell_title(const TrackSummary& t) {
    std::string title = format("Track %02d side %d: ", t.track, t.side) + look_of(t.status).label;
    if (!t.analysed()) return title + "\n" + t.failure_reason;
    title += format("\n%d revolutions, %s rpm, %u bytes", t.revolutions, rpm_text(t.rpm_avg).c_str(), t.bytes);
    title += format("\nID %d good / %d bad, data %d good / %d bad", t.id_good, t.id_bad, t.data_good, t.data_bad);
    if (t.cross_checked && !(t.counts() == t.no_sync)) {
        title += format("\nwith -s: ID %d good / %d bad, data %d good / %d bad", t.no_sync.id_good, t.no_sync.id_bad,
                        t.no_sync.data_good, t.no_sync.data_bad);
    }
    title += format("\nsectors %d OK of %d, fuzzy %d", t.sectors_ok, t.sectors_found, t.fuzzy_sectors);
    if (!t.foreign_ids.empty()) title += "\nID fields say " + foreign_ids_text(t);
    if (!t.findings.empty()) title += "\nfindings: " + findings_text(t);
    if (!t.notes.empty()) title += "\nnotes: " + notes_text(t);
    if (!t.stream_info.empty()) title += "\nstream: " + t.stream_info;
    return title;
}

bool is_file(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

class PageWriter {
public:
    PageWriter(const DiskSummary& disk, const PageSettings& settings)
        : disk_(disk), settings_(settings), page_dir_(fs::path(settings.page_path).parent_path()) {
        if (page_dir_.empty()) page_dir_ = ".";
    }

    std::string page() {
        head("Disk " + disk_name(), disk_.cross_checked);
        body();
        out_ += "<footer>Made by quendisk from the " + source_words() + " <code>" + escape(disk_.dir) +
                "</code>.</footer>\n</body>\n</html>\n";
        return std::move(out_);
    }

    // A page of several disks: the heading of the first, which carries the options that
    // every disk shares, named for them all.
    std::string collection_head(size_t disks) {
        head(std::to_string(disks) + " disks", disk_.cross_checked);
        return std::move(out_);
    }

    // One disk of several under its own heading; its ids kept apart from the others'.
    std::string section(size_t number) {
        ids_ = "disk" + std::to_string(number) + "-";
        out_ += "<section aria-labelledby=\"" + ids_ + "disk\">\n<h2 id=\"" + ids_ + "disk\">Disk " +
                escape(disk_.name) + "</h2>\n<p class=\"meta\">From the " + source_words() + " <code>" +
                escape(disk_.dir) + "</code></p>\n";
        body();
        out_ += "</section>\n";
        return std::move(out_);
    }

private:
    std::string link_to(const fs::path& target) const { return escape(html::relative_link(page_dir_, target)); }

    std::string source_words() const {
        return disk_.source == DiskSource::kScpImage ? "SCP image" : "stream files of";
    }

    void body() {
        totals();
        grid();
        map();
        table();
        timing();
        pictures();
    }

    // The id of a place on the page, kept apart from another disk's on a page of several.
    std::string id(const std::string& name) const { return ids_ + name; }

    void head(const std::string& title, bool cross_checked) {
        const std::string name = escape(title);
        out_ += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                "<meta name=\"generator\" content=\"quendisk\">\n";
        out_ += "<title>" + name + "</title>\n<style>" + std::string(kStyle) + disk_map_style() + "\n" +
                kTimingStyle + "\n</style>\n</head>\n<body>\n";
        out_ += "<header>\n<h1>" + name + "</h1>\n<p class=\"meta\">" +
                (disk_.source == DiskSource::kScpImage ? "Image" : "Folder") + " <code>" + escape(disk_.dir) + "</code>";
        if (!settings_.analyser_options.empty()) {
            std::string options;
            for (const std::string& o : settings_.analyser_options) options += (options.empty() ? "" : " ") + o;
            out_ += " \xC2\xB7 options <code>" + escape(options) + "</code>";
        }
        out_ += cross_checked ? " \xC2\xB7 findings cross-checked with a run with -s"
                                    : " \xC2\xB7 analysed with -s: no cross-check";
        out_ += "</p>\n</header>\n";
    }

    std::string disk_name() const {
        // Absolute first, so that "." and "../x/" still give the folder's own name.
        std::error_code ec;
        fs::path p = fs::absolute(disk_.dir, ec).lexically_normal();
        if (p.filename().empty()) p = p.parent_path();
        const std::string name = p.filename().string();
        return name.empty() ? disk_.dir : name;
    }

    void total(const char* term, const std::string& value, bool bad = false) {
        out_ += bad ? "<dl class=\"bad\">" : "<dl>";
        out_ += "<dt>" + std::string(term) + "</dt><dd>" + value + "</dd></dl>\n";
    }

    void totals() {
        const DiskTotals& s = disk_.totals;
        out_ += "<section aria-labelledby=\"" + id("totals") + "\">\n<h2 id=\"" + id("totals") +
                "\">Totals</h2>\n<div class=\"totals\">\n";
        total("Track sides", std::to_string(s.tracks));
        total("Analysed", std::to_string(s.analysed));
        total("Failed", std::to_string(s.failed), s.failed > 0);
        total("Sectors OK / found", format("%d / %d", s.sectors_ok, s.sectors_found), s.sectors_ok < s.sectors_found);
        // A bad CRC is a fault only when the run without the in-field synch search has it too.
        const FieldCounts& plain = disk_.cross_checked ? s.no_sync : FieldCounts{s.id_good, s.id_bad, s.data_good, s.data_bad};
        total("ID good / bad", marked_pair(s.id_good, plain.id_good, s.id_bad, plain.id_bad), plain.id_bad > 0);
        total("Data good / bad", marked_pair(s.data_good, plain.data_good, s.data_bad, plain.data_bad),
              plain.data_bad > 0);
        total("Fuzzy sectors", std::to_string(s.fuzzy_sectors));
        total("Findings", std::to_string(s.findings));
        if (disk_.cross_checked) total("Only in default mode", std::to_string(s.findings_only_default_mode));
        total("Notes", std::to_string(s.notes));
        total("Foreign-ID tracks", std::to_string(s.tracks_with_foreign_ids), s.tracks_with_foreign_ids > 0);
        out_ += "</div>\n</section>\n";
    }

    void grid() {
        out_ += "<section aria-labelledby=\"" + id("grid") + "\">\n<h2 id=\"" + id("grid") + "\">Tracks</h2>\n";
        if (disk_.tracks.empty()) {
            out_ += "<p>No stream file.</p>\n</section>\n";
            return;
        }
        std::map<std::pair<int, int>, const TrackSummary*> by_place;
        std::set<int> sides;
        int first = disk_.tracks.front().track;
        int last = first;
        for (const TrackSummary& t : disk_.tracks) {
            by_place[{t.side, t.track}] = &t;
            sides.insert(t.side);
            first = std::min(first, t.track);
            last = std::max(last, t.track);
        }
        out_ += "<p class=\"note\">One column per track, one row per side; hover a cell for its figures, click it "
                "for its row of the summary.</p>\n<div class=\"scroll\">\n<table class=\"grid\">\n<thead><tr><td></td>";
        for (int track = first; track <= last; ++track) out_ += format("<th scope=\"col\">%02d</th>", track);
        out_ += "</tr></thead>\n<tbody>\n";
        for (int side : sides) {
            out_ += format("<tr><th scope=\"row\">side %d</th>", side);
            for (int track = first; track <= last; ++track) {
                auto it = by_place.find({side, track});
                if (it == by_place.end()) {
                    out_ += format("<td class=\"st-%s\" title=\"Track %02d side %d: no file\">%s</td>", kNoFileClass,
                                   track, side, kNoFileGlyph);
                    continue;
                }
                const TrackSummary& t = *it->second;
                // Notes are marked apart from the status: they are no fault and no protection.
                const char* notes = t.notes.empty() && t.findings_only_default_mode() == 0 ? "" : " data-notes";
                out_ += "<td class=\"st-" + std::string(status_word(t.status)) + "\" data-track=\"" + track_label(t) +
                        "\"" + notes + " title=\"" + escape(cell_title(t)) + "\"><a href=\"#" + id(track_anchor(t)) + "\">" +
                        look_of(t.status).glyph + "</a></td>";
            }
            out_ += "</tr>\n";
        }
        out_ += "</tbody>\n</table>\n</div>\n";
        legend();
        out_ += "</section>\n";
    }

    void legend() {
        out_ += "<ul class=\"legend\">\n";
        for (const StatusLook& l : kLooks) {
            out_ += "<li><span class=\"swatch st-" + std::string(status_word(l.status)) + "\">" + l.glyph +
                    "</span><span>" + l.label + " <small>" + escape(l.meaning) + "</small></span></li>\n";
        }
        out_ += "<li><span class=\"swatch st-" + std::string(kNoFileClass) + "\">" + kNoFileGlyph +
                "</span><span>no file <small>no stream file for this track side</small></span></li>\n</ul>\n";
    }

    void map() {
        out_ += "<section class=\"map\" aria-labelledby=\"" + id("map") + "\">\n<h2 id=\"" + id("map") +
                "\">Disk map</h2>\n"
                "<p class=\"note\">One row per track side, time from the index from left to right; each sector's "
                "ID field (the narrow mark) and data field where the track decoder found them. Hover a field for "
                "what was found, click it for the track side's row of the summary, click a track number for its "
                "report.</p>\n<div class=\"scroll\">\n";
        out_ += disk_map_svg(disk_.tracks, [&](const TrackSummary& t) {
            MapLinks links{"#" + id(track_anchor(t)), ""};
            if (has_report(t)) links.report = link_to(t.report_path);
            return links;
        });
        out_ += "</div>\n<ul class=\"legend map-legend\">\n";
        for (FieldState s : kMapStates) {
            out_ += format("<li><span class=\"swatch\" style=\"background:%s\">&nbsp;</span><span>%s <small>%s</small>"
                           "</span></li>\n",
                           field_state_colour(s), field_state_label(s), field_state_meaning(s));
        }
        out_ += format("<li><span class=\"swatch\" style=\"background:%s\">&nbsp;</span><span>unformatted <small>"
                       "analysed, no sector found</small></span></li>\n<li><span class=\"swatch\" style=\"background:%s\">"
                       "&nbsp;</span><span>failed <small>the file could not be analysed</small></span></li>\n</ul>\n"
                       "</section>\n",
                       kUnformattedColour, kFailedColour);
    }

    static bool has_report(const TrackSummary& t) { return !t.report_path.empty() && is_file(t.report_path); }

    // The links column: reports, timing sections, pictures.
    bool any_links() const {
        if (!disk_.outdir.empty()) return true;
        return std::any_of(disk_.tracks.begin(), disk_.tracks.end(), [](const TrackSummary& t) { return t.timing; });
    }

    void table() {
        const bool links = any_links();
        out_ += "<section aria-labelledby=\"" + id("summary") + "\">\n<h2 id=\"" + id("summary") +
                "\">Summary</h2>\n<div class=\"scroll\">\n"
                "<table class=\"summary\">\n<caption>One row per track side; hover the findings for their names; "
                "\"IDs say\" names the cylinder and head of ID fields that disagree with the file name."
                "</caption>\n<thead><tr>"
                "<th scope=\"col\">Track</th><th scope=\"col\">Side</th><th scope=\"col\" class=\"text\">Status</th>"
                "<th scope=\"col\">Revs</th><th scope=\"col\">RPM</th><th scope=\"col\">Bytes</th>"
                "<th scope=\"col\">ID fields<br>good / bad</th><th scope=\"col\">Data fields<br>good / bad</th>"
                "<th scope=\"col\">Sectors<br>OK / found</th><th scope=\"col\">Fuzzy</th>"
                "<th scope=\"col\" class=\"text\">IDs say</th><th scope=\"col\" class=\"text\">Findings</th>";
        if (links) out_ += "<th scope=\"col\" class=\"text\">Links</th>";
        out_ += "</tr></thead>\n<tbody>\n";
        for (const TrackSummary& t : disk_.tracks) row(t, links);
        out_ += "</tbody>\n</table>\n</div>\n";
        if (disk_.cross_checked) {
            out_ += "<p class=\"note\">" + std::string(kDefaultOnlyMark) + " " + kDefaultOnlyMeaning +
                    ": the run with -s does not have the finding, or counts otherwise.</p>\n";
        }
        if (disk_.totals.notes > 0) out_ += "<p class=\"note\">notes: " + escape(kNotesMeaning) + ".</p>\n";
        out_ += "</section>\n";
    }

    void row(const TrackSummary& t, bool with_links) {
        const StatusLook& look = look_of(t.status);
        const std::string info = t.stream_info.empty() ? "" : " title=\"stream: " + escape(t.stream_info) + "\"";
        out_ += "<tr id=\"" + id(track_anchor(t)) + "\">" + format("<td%s>%02d</td><td>%d</td>", info.c_str(), t.track, t.side) +
                "<td class=\"status\"><span class=\"swatch st-" + status_word(t.status) + "\">" + look.glyph +
                "</span>" + look.short_label + "</td>";
        if (!t.analysed()) {
            out_ += "<td colspan=\"9\" class=\"text reason\">" + escape(t.failure_reason) + "</td>";
        } else {
            out_ += format("<td>%d</td><td>%s</td><td>%u</td>", t.revolutions, rpm_text(t.rpm_avg).c_str(), t.bytes);
            const FieldCounts& p = t.no_sync;
            const bool x = t.cross_checked;
            out_ += "<td>" + marked_pair(t.id_good, x ? p.id_good : t.id_good, t.id_bad, x ? p.id_bad : t.id_bad) +
                    "</td><td>" +
                    marked_pair(t.data_good, x ? p.data_good : t.data_good, t.data_bad, x ? p.data_bad : t.data_bad) +
                    "</td>";
            out_ += format("<td>%d / %d</td><td>%d</td>", t.sectors_ok, t.sectors_found, t.fuzzy_sectors);
            out_ += "<td class=\"text\">" + escape(t.foreign_ids.empty() ? "" : foreign_ids_text(t)) + "</td>";
            out_ += "<td class=\"text\">";
            if (!t.findings.empty()) {
                out_ += "<abbr title=\"" + escape(finding_names(t)) + "\">" + escape(findings_text(t)) + "</abbr>";
            }
            if (!t.notes.empty()) {
                out_ += std::string(t.findings.empty() ? "" : " ") + "<span class=\"notes-mark\" title=\"" +
                        escape(kNotesMeaning) + "\">notes: " + escape(notes_text(t)) + "</span>";
            }
            out_ += "</td>";
        }
        if (with_links) {
            std::string links;
            const auto add = [&](const std::string& link) { links += (links.empty() ? "" : " ") + link; };
            if (has_report(t)) add("<a href=\"" + link_to(t.report_path) + "\">report</a>");
            if (t.timing) add("<a href=\"#" + id(timing_anchor(t)) + "\">timing</a>");
            if (has_pictures(t)) add("<a href=\"#" + id(picture_anchor(t)) + "\">pictures</a>");
            out_ += "<td class=\"text\">" + links + "</td>";
        }
        out_ += "</tr>\n";
    }

    bool has_pictures(const TrackSummary& t) const {
        if (!settings_.pictures || disk_.outdir.empty()) return false;
        const fs::path dir = picture_dir(disk_.outdir, t);
        for (const auto& [file, text] : kTrackPictures) {
            if (!picture_links(dir, file).empty()) return true;
        }
        return !picture_sectors(dir).empty();
    }

    // Sector numbers of the sector pictures in a track's picture folder, in numeric order.
    static std::vector<int> picture_sectors(const fs::path& dir) {
        std::set<int> sectors;
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            for (const char* kind : {"sec_layout_", "sec_data_", "sec_trans_"}) {
                const size_t prefix = std::strlen(kind);
                if (name.compare(0, prefix, kind) != 0) continue;
                const size_t dot = name.find('.', prefix);
                const std::string digits = name.substr(prefix, dot == std::string::npos ? 0 : dot - prefix);
                const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
                if (digits.empty() || digits.size() > 3 || (ext != ".svg" && ext != ".png") ||
                    digits.find_first_not_of("0123456789") != std::string::npos) {
                    continue;
                }
                sectors.insert(std::stoi(digits));
            }
        }
        return {sectors.begin(), sectors.end()};
    }

    // Links to the named picture's files that exist, SVG first; empty when none does.
    std::string picture_links(const fs::path& dir, const std::string& name) const {
        std::string links;
        for (const char* ext : {"svg", "png"}) {
            const fs::path file = dir / (name + "." + ext);
            if (!is_file(file)) continue;
            if (!links.empty()) links += " ";
            links += "<a href=\"" + link_to(file) + "\">" + ext + "</a>";
        }
        return links;
    }

    void pictures() {
        bool any = false;
        for (const TrackSummary& t : disk_.tracks) any = any || has_pictures(t);
        if (!any) return;
        out_ += "<section class=\"pictures\" aria-labelledby=\"" + id("pictures") + "\">\n<h2 id=\"" + id("pictures") +
                "\">Pictures</h2>\n";
        for (const TrackSummary& t : disk_.tracks) {
            if (has_pictures(t)) track_pictures(t);
        }
        out_ += "</section>\n";
    }

    void track_pictures(const TrackSummary& t) {
        const fs::path dir = picture_dir(disk_.outdir, t);
        const std::string name = format("Track %02d side %d", t.track, t.side);
        out_ += "<details>\n<summary>" + name + "</summary>\n<div id=\"" + id(picture_anchor(t)) + "\">\n";
        // The PNG is shown: the SVGs' texts are laid out for the plotting program's own
        // fonts and overlap in a browser's. The SVG stays one click away.
        for (const auto& [file, text] : kTrackPictures) {
            for (const char* ext : {".png", ".svg"}) {
                const fs::path picture = dir / (std::string(file) + ext);
                if (!is_file(picture)) continue;
                out_ += "<img src=\"" + link_to(picture) + "\" alt=\"" + name + ": " + text + "\" loading=\"lazy\">\n";
                break;
            }
        }
        out_ += "<p>";
        const char* separator = "";
        for (const auto& [file, text] : kTrackPictures) {
            const std::string links = picture_links(dir, file);
            if (links.empty()) continue;
            out_ += separator + std::string(text) + ": " + links;
            separator = " \xC2\xB7 ";
        }
        out_ += "</p>\n";
        const std::vector<int> sectors = picture_sectors(dir);
        if (!sectors.empty()) {
            out_ += "<table class=\"pics\">\n<thead><tr><th scope=\"col\">Sector</th><th scope=\"col\">areas</th>"
                    "<th scope=\"col\">bytes</th><th scope=\"col\">flux transitions</th></tr></thead>\n<tbody>\n";
            for (int n : sectors) {
                const std::string s = std::to_string(n);
                out_ += "<tr><th scope=\"row\">" + s + "</th><td>" + picture_links(dir, "sec_layout_" + s) +
                        "</td><td>" + picture_links(dir, "sec_data_" + s) + "</td><td>" +
                        picture_links(dir, "sec_trans_" + s) + "</td></tr>\n";
            }
            out_ += "</tbody>\n</table>\n";
        }
        out_ += "</div>\n</details>\n";
    }

    void timing() {
        if (std::none_of(disk_.tracks.begin(), disk_.tracks.end(), [](const TrackSummary& t) { return t.timing; })) {
            return;
        }
        out_ += "<section class=\"pictures timing\" aria-labelledby=\"" + id("timing") + "\">\n<h2 id=\"" +
                id("timing") + "\">Flux timing</h2>\n"
                "<p class=\"note\">The analysed revolution of each track side: its flux intervals against time from "
                "the index, and their histogram.</p>\n";
        for (const TrackSummary& t : disk_.tracks) {
            if (!t.timing) continue;
            const std::string name = format("Track %02d side %d", t.track, t.side);
            out_ += "<details>\n<summary>" + name + "</summary>\n<div id=\"" + id(timing_anchor(t)) + "\">\n" +
                    timing_scatter_svg(*t.timing, name, SvgStyle::kFromPage) +
                    timing_histogram_svg(*t.timing, name, SvgStyle::kFromPage) + "</div>\n</details>\n";
        }
        out_ += "</section>\n";
    }

    const DiskSummary& disk_;
    const PageSettings& settings_;
    fs::path page_dir_;
    std::string ids_;  // before every id of a disk on a page of several
    std::string out_;
};

}  // namespace

std::string picture_dir(const std::string& outdir, const TrackSummary& t) {
    return picture_dir_in(outdir, t.track, t.side);
}

std::string disk_page(const std::vector<DiskSummary>& disks, const PageSettings& settings) {
    if (disks.size() == 1) return PageWriter(disks.front(), settings).page();
    std::string page = PageWriter(disks.front(), settings).collection_head(disks.size());
    for (size_t i = 0; i < disks.size(); ++i) page += PageWriter(disks[i], settings).section(i + 1);
    return page + "<footer>Made by quendisk.</footer>\n</body>\n</html>\n";
}

std::string page_problem(const std::string& page_path) {
    if (page_path.empty()) return {};
    std::error_code ec;
    if (fs::is_directory(page_path, ec)) return "--html names the folder " + page_path;
    const fs::path folder = fs::path(page_path).has_parent_path() ? fs::path(page_path).parent_path() : ".";
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec) || access(folder.c_str(), W_OK) != 0) {
        return "cannot write the page into the folder " + folder.string();
    }
    return {};
}

void write_disk_page(const std::vector<DiskSummary>& disks, const PageSettings& settings) {
    const fs::path path(settings.page_path);
    std::error_code ec;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
    if (ec) throw DiskError{"cannot create the folder of " + settings.page_path + ": " + ec.message()};

    const std::string text = disk_page(disks, settings);
    // Written beside the page and renamed over it, so a reader never sees half a page.
    const std::string error = write_file(settings.page_path, Replace::kWhole,
                                         [&](FILE* f) { std::fwrite(text.data(), 1, text.size(), f); });
    if (!error.empty()) throw DiskError{"cannot write " + settings.page_path + ": " + error};
}

}  // namespace quen::disk
