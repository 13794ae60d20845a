#include "disk/disk_map.h"

#include <algorithm>
#include <set>

#include "disk/html_text.h"

namespace quen::disk {
namespace {

using html::escape;
using html::format;

constexpr int kLabelWidth = 40;
constexpr int kPlotWidth = 520;
constexpr int kPanelGap = 28;
constexpr int kTop = 36;     // the panel's heading and the time axis above the rows
constexpr int kPitch = 11;   // one row per track: wide enough for its 9 px label
constexpr int kBar = 8;
constexpr int kBottom = 6;
// A standard revolution at 300 rpm and some room for slow drives; longer tracks widen it.
constexpr uint32_t kMinScaleNs = 210'000'000;
// An ID field is a fraction of a pixel: it stays visible and clickable.
constexpr double kMinFieldWidth = 2.0;


std::string ms_text(uint32_t ns) { return format("%.2f ms", ns / 1e6); }

std::string track_text(const TrackSummary& t) { return format("Track %02d side %d", t.track, t.side); }

class MapWriter {
public:
    MapWriter(const std::vector<TrackSummary>& tracks, const std::function<MapLinks(const TrackSummary&)>& links_of)
        : tracks_(tracks), links_of_(links_of) {
        first_ = tracks.empty() ? 0 : tracks.front().track;
        last_ = first_;
        scale_ns_ = kMinScaleNs;
        for (const TrackSummary& t : tracks) {
            sides_.insert(t.side);
            first_ = std::min(first_, t.track);
            last_ = std::max(last_, t.track);
            scale_ns_ = std::max(scale_ns_, t.track_ns);
        }
    }

    std::string svg() {
        const int panels = std::max<int>(1, static_cast<int>(sides_.size()));
        const int width = panels * (kLabelWidth + kPlotWidth) + (panels - 1) * kPanelGap;
        const int height = kTop + (last_ - first_ + 1) * kPitch + kBottom;
        out_ += format("<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"disk-map\" width=\"%d\" height=\"%d\" "
                       "viewBox=\"0 0 %d %d\" role=\"img\" aria-label=\"Disk map: the sectors of every track side "
                       "along the revolution\">\n",
                       width, height, width, height);
        int panel = 0;
        for (int side : sides_) {
            side_panel(side, panel * (kLabelWidth + kPlotWidth + kPanelGap));
            ++panel;
        }
        out_ += "</svg>\n";
        return std::move(out_);
    }

private:
    double x_of(uint32_t ns) const { return static_cast<double>(ns) * kPlotWidth / scale_ns_; }

    void side_panel(int side, int left) {
        const int plot = left + kLabelWidth;
        out_ += format("<g class=\"side\" data-side=\"%d\">\n<text class=\"head\" x=\"%d\" y=\"12\">Side %d</text>\n",
                       side, plot, side);
        // A tick every 50 ms, labelled where the label still fits inside the plot.
        for (uint32_t ms = 0; ms * 1'000'000ull <= scale_ns_; ms += 50) {
            const double x = x_of(ms * 1'000'000u);
            if (x + 20 > kPlotWidth && ms != 0) break;
            out_ += format("<text x=\"%.1f\" y=\"29\" text-anchor=\"%s\">%u ms</text>"
                           "<path d=\"M%.1f 31v3\" stroke=\"#8c959f\"/>\n",
                           plot + x, ms == 0 ? "start" : "middle", ms, plot + x);
        }
        for (const TrackSummary& t : tracks_) {
            if (t.side == side) row(t, left, kTop + (t.track - first_) * kPitch);
        }
        out_ += "</g>\n";
    }

    void row(const TrackSummary& t, int left, int y) {
        const MapLinks links = links_of_(t);
        const int plot = left + kLabelWidth;
        out_ += format("<g class=\"track\" data-track=\"%02d.%d\">", t.track, t.side);
        out_ += "<a href=\"" + (links.report.empty() ? links.row : links.report) + "\">" +
                format("<text x=\"%d\" y=\"%d\" text-anchor=\"end\">%02d</text>", plot - 6, y + kBar, t.track) +
                "</a>";
        const std::string name = track_text(t);
        out_ += "<a href=\"" + links.row + "\">";
        if (!t.analysed()) {
            out_ += format("<rect class=\"failed\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\">", plot, y, kPlotWidth,
                           kBar);
            out_ += "<title>" + escape(name + ": failed, " + t.failure_reason) + "</title></rect></a>";
        } else if (t.map.empty()) {
            out_ += format("<rect class=\"unformatted\" x=\"%d\" y=\"%d\" width=\"%.1f\" height=\"%d\">", plot, y,
                           std::max(x_of(t.track_ns), 1.0), kBar);
            out_ += "<title>" + escape(name + ": unformatted, no sector found in " + ms_text(t.track_ns)) +
                    "</title></rect></a>";
        } else {
            out_ += format("<rect class=\"bg\" x=\"%d\" y=\"%d\" width=\"%.1f\" height=\"%d\">", plot, y,
                           x_of(t.track_ns), kBar);
            out_ += "<title>" + escape(format("%s: %zu sectors in %s", name.c_str(), t.map.size(),
                                              ms_text(t.track_ns).c_str())) +
                    "</title></rect></a>";
            for (const MapSector& s : t.map) sector(t, s, links, plot, y);
        }
        out_ += "</g>\n";
    }

    void sector(const TrackSummary& t, const MapSector& s, const MapLinks& links, int plot, int y) {
        out_ += "<a class=\"sec\" href=\"" + links.row + "\">";
        const std::string name = track_text(t) + format(" sector %u", s.sector);
        field(name + ": ID field", s.id, s.id_state, plot, y);
        field(name + ": data field", s.data, s.data_state, plot, y);
        out_ += "</a>";
    }

    void field(const std::string& what, const FieldPlace& place, FieldState state, int plot, int y) {
        if (place.length_ns == 0) return;
        const double x = x_of(place.position_ns);
        const double w = std::max(x_of(place.length_ns), kMinFieldWidth);
        out_ += format("<rect class=\"f-%s\" x=\"%.1f\" y=\"%d\" width=\"%.1f\" height=\"%d\"><title>",
                       field_state_word(state), plot + x, y, w, kBar);
        out_ += escape(what + " at " + ms_text(place.position_ns) + ", " + ms_text(place.length_ns) + " long: " +
                       field_state_label(state));
        out_ += "</title></rect>";
    }

    const std::vector<TrackSummary>& tracks_;
    const std::function<MapLinks(const TrackSummary&)>& links_of_;
    std::set<int> sides_;
    int first_ = 0;
    int last_ = 0;
    uint32_t scale_ns_ = kMinScaleNs;
    std::string out_;
};

}  // namespace

namespace {

// What the map calls each state, once: its CSS class word, its legend label and meaning,
// and its colour.
struct FieldStateLook {
    FieldState state;
    const char* word;
    const char* label;
    const char* meaning;
    const char* colour;
};
constexpr FieldStateLook kFieldStateLooks[] = {
    {FieldState::Good, "good", "good", "read with a good CRC", "#3f9b5a"},
    {FieldState::BadCrc, "bad-crc", "bad CRC", "CRC error, or cut off by the index", "#c4314b"},
    {FieldState::Weak, "weak", "weak", "read differently from one revolution to the next", "#f2a33a"},
    {FieldState::Deleted, "deleted", "deleted", "data field with a deleted data mark", "#2f81c7"},
    {FieldState::Finding, "finding", "finding", "a protection finding that remains with -s names the sector",
     "#6e40c9"},
    {FieldState::Note, "note", "note", "an incidental note names the sector", "#8c959f"},
};

const FieldStateLook& look_of(FieldState s) {
    for (const FieldStateLook& l : kFieldStateLooks) {
        if (l.state == s) return l;
    }
    return kFieldStateLooks[0];
}

}  // namespace

const char* field_state_word(FieldState s) { return look_of(s).word; }
const char* field_state_colour(FieldState s) { return look_of(s).colour; }
const char* field_state_label(FieldState s) { return look_of(s).label; }
const char* field_state_meaning(FieldState s) { return look_of(s).meaning; }

std::string disk_map_style() {
    std::string style = ".disk-map text{font:9px system-ui,\"DejaVu Sans\",sans-serif;fill:#57606a}"
                        ".disk-map .head{font-size:11px;font-weight:600;fill:#1f2328}"
                        ".disk-map .bg{fill:#eef0f2}.disk-map a:hover rect{stroke:#1f2328;stroke-width:1}" +
                        format(".disk-map .unformatted{fill:%s}.disk-map .failed{fill:%s}", kUnformattedColour,
                               kFailedColour);
    for (FieldState s : kMapStates) {
        style += format(".disk-map .f-%s{fill:%s}", field_state_word(s), field_state_colour(s));
    }
    return style;
}

std::string disk_map_svg(const std::vector<TrackSummary>& tracks,
                         const std::function<MapLinks(const TrackSummary&)>& links_of) {
    return MapWriter(tracks, links_of).svg();
}

}  // namespace quen::disk
