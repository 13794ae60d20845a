#include "disk/timing_svg.h"

#include <algorithm>
#include <vector>

#include "disk/html_text.h"

namespace quen::disk {
namespace {

using html::escape;
using html::format;

constexpr int kLeft = 46;
constexpr int kTop = 24;
constexpr int kBottom = 32;
constexpr int kRight = 26;
constexpr double kRowHeight = 1.25;
constexpr int kScatterHeight = static_cast<int>(FluxTiming::kRows * kRowHeight);
constexpr int kBinWidth = 2;
constexpr int kHistogramWidth = static_cast<int>(FluxTiming::kBins) * kBinWidth;
constexpr int kHistogramHeight = 150;

std::string open_svg(int width, int height, const std::string& label, SvgStyle style) {
    const std::string sheet = style == SvgStyle::kEmbedded ? "<style>" + std::string(kTimingStyle) + "</style>\n" : "";
    return format("<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"timing\" width=\"%d\" height=\"%d\" "
                  "viewBox=\"0 0 %d %d\" role=\"img\" aria-label=\"",
                  width, height, width, height) +
           label + "\">\n" + sheet;
}

// Occupied rows of one column as runs [first, last], the closest runs joined until
// no more than kMaxSegmentsPerColumn are left.
std::vector<std::pair<size_t, size_t>> column_runs(const FluxTiming& timing, size_t column) {
    std::vector<std::pair<size_t, size_t>> runs;
    for (size_t row = 0; row < FluxTiming::kRows; ++row) {
        if (!timing.occupied(column, row)) continue;
        if (!runs.empty() && runs.back().second + 1 == row) {
            runs.back().second = row;
        } else {
            runs.push_back({row, row});
        }
    }
    while (runs.size() > kMaxSegmentsPerColumn) {
        size_t closest = 0;
        for (size_t i = 1; i + 1 < runs.size(); ++i) {
            if (runs[i + 1].first - runs[i].second < runs[closest + 1].first - runs[closest].second) closest = i;
        }
        runs[closest].second = runs[closest + 1].second;
        runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(closest) + 1);
    }
    return runs;
}

}  // namespace

const char* const kTimingStyle =
    ".timing text{font:10px system-ui,\"DejaVu Sans\",sans-serif;fill:#57606a}"
    ".timing .head{font-size:11px;font-weight:600;fill:#1f2328}";

std::string timing_scatter_svg(const FluxTiming& timing, std::string_view caption, SvgStyle style) {
    const int width = kLeft + static_cast<int>(FluxTiming::kColumns) + kRight;
    const int height = kTop + kScatterHeight + kBottom;
    const int base = kTop + kScatterHeight;
    const std::string name = escape(caption);
    std::string out = open_svg(width, height, name + ": flux intervals against time from the index", style);
    out += format("<text class=\"head\" x=\"%d\" y=\"14\">", kLeft) + name +
           ": interval length against time from the index (longer than 12.7 us: top row)</text>\n";
    out += format("<rect x=\"%d\" y=\"%d\" width=\"%zu\" height=\"%d\" fill=\"#f6f8fa\" stroke=\"#d0d7de\"/>\n", kLeft,
                  kTop, FluxTiming::kColumns, kScatterHeight);
    // The interval lengths of double density, faint behind the points.
    for (int us = 2; us <= 12; us += 2) {
        const double y = base - us * 1000.0 / FluxTiming::kRowNs * kRowHeight;
        out += format("<path d=\"M%d %.1fh%zu\" stroke=\"%s\"/><text x=\"%d\" y=\"%.1f\" text-anchor=\"end\">%d us</text>\n",
                      kLeft, y, FluxTiming::kColumns, us >= 4 && us <= 8 ? "#d0d7de" : "#eaeef2",
                      kLeft - 4, y + 3.5, us);
    }
    const double ms = timing.revolution_ns / 1e6;
    for (int t = 0; timing.revolution_ns != 0 && t <= ms; t += 50) {
        const double x = kLeft + t / ms * FluxTiming::kColumns;
        out += format("<path d=\"M%.1f %dv4\" stroke=\"#8c959f\"/><text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%d ms"
                      "</text>\n",
                      x, base, x, base + 15, t);
    }
    out += "<path fill=\"none\" stroke=\"#1f6feb\" stroke-width=\"1\" d=\"";
    for (size_t column = 0; column < FluxTiming::kColumns; ++column) {
        for (const auto& [first, last] : column_runs(timing, column)) {
            out += format("M%zu.5 %.2fV%.2f", kLeft + column, base - (last + 1) * kRowHeight, base - first * kRowHeight);
        }
    }
    out += "\"/>\n</svg>\n";
    return out;
}

std::string timing_histogram_svg(const FluxTiming& timing, std::string_view caption, SvgStyle style) {
    const int width = kLeft + kHistogramWidth + kRight;
    const int height = kTop + kHistogramHeight + kBottom;
    const int base = kTop + kHistogramHeight;
    const std::string name = escape(caption);
    std::string out = open_svg(width, height, name + ": histogram of the flux intervals", style);
    out += format("<text class=\"head\" x=\"%d\" y=\"14\">", kLeft) + name +
           format(": %u intervals in %u ns bins (longer than 12.75 us: last bin)</text>\n", timing.intervals,
                  FluxTiming::kBinNs);
    out += format("<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"#f6f8fa\" stroke=\"#d0d7de\"/>\n", kLeft,
                  kTop, kHistogramWidth, kHistogramHeight);
    const uint32_t most = *std::max_element(timing.histogram.begin(), timing.histogram.end());
    out += format("<text x=\"%d\" y=\"%d\" text-anchor=\"end\">%u</text>", kLeft - 4, kTop + 4, most);
    out += format("<text x=\"%d\" y=\"%d\" text-anchor=\"end\">0</text>\n", kLeft - 4, base);
    for (int us = 0; us <= 12; us += 2) {
        const int x = kLeft + us * 1000 / static_cast<int>(FluxTiming::kBinNs) * kBinWidth;
        out += format("<path d=\"M%d %dv4\" stroke=\"#8c959f\"/><text x=\"%d\" y=\"%d\" text-anchor=\"middle\">%d us"
                      "</text>\n",
                      x, base, x, base + 15, us);
    }
    out += "<path fill=\"#1f6feb\" d=\"";
    for (size_t bin = 0; most != 0 && bin < FluxTiming::kBins; ++bin) {
        if (timing.histogram[bin] == 0) continue;
        // At least a pixel, so that a lone interval still shows.
        const double h = std::max(1.0, static_cast<double>(timing.histogram[bin]) * kHistogramHeight / most);
        out += format("M%zu %dh%dv-%.1fh-%dz", kLeft + bin * kBinWidth, base, kBinWidth, h, kBinWidth);
    }
    out += "\"/>\n</svg>\n";
    return out;
}

}  // namespace quen::disk
