// Pictures of one revolution's flux timing, drawn from its compact summary: the
// intervals against time from the index (weak areas, long tracks, no-flux areas) and
// their histogram (the peaks of the recording and how wide they are). Plain SVG, for
// the page inline and as files of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "decode/flux_timing.h"

namespace quen::disk {

// Segments drawn per column of the scatter at most: what keeps a picture of a noisy
// revolution as small as that of a clean one.
inline constexpr size_t kMaxSegmentsPerColumn = 8;

// Whether a picture carries its own style sheet (a file of its own) or is drawn inside
// a page that holds kTimingStyle once for all its pictures.
enum class SvgStyle : uint8_t { kEmbedded, kFromPage };
extern const char* const kTimingStyle;

// `caption` names the track side; it is escaped.
std::string timing_scatter_svg(const FluxTiming& timing, std::string_view caption, SvgStyle style);
std::string timing_histogram_svg(const FluxTiming& timing, std::string_view caption, SvgStyle style);

}  // namespace quen::disk
