// The disk map: every track side as a row along the revolution, its sectors' ID and
// data fields drawn where the track decoder found them and coloured by what was found.
// Plain SVG for inline use in the page: no script, nothing fetched.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "disk/summary.h"

namespace quen::disk {

// Where a click on a track side leads, as attribute text (already escaped).
struct MapLinks {
    std::string row;     // the track side's row of the summary
    std::string report;  // its report; empty when there is none
};

// The map's style sheet: the page holds it once.
std::string disk_map_style();

// The map of `tracks` (by track, then side). Every text that comes from the input is escaped.
std::string disk_map_svg(const std::vector<TrackSummary>& tracks,
                         const std::function<MapLinks(const TrackSummary&)>& links_of);

// The field states in the legend's order, with how each looks and reads.
inline constexpr FieldState kMapStates[] = {FieldState::Good,    FieldState::BadCrc,  FieldState::Weak,
                                            FieldState::Deleted, FieldState::Finding, FieldState::Note};
const char* field_state_colour(FieldState s);
// How a track side without sectors and one that failed look.
inline constexpr const char* kUnformattedColour = "#d0d7de";
inline constexpr const char* kFailedColour = "#f4c7cf";
const char* field_state_label(FieldState s);
const char* field_state_meaning(FieldState s);

}  // namespace quen::disk
