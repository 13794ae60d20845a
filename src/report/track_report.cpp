#include "report/reports.h"

namespace quen {

void print_track_layout(FILE*, const TrackLayout&) {}
void print_track_detail(FILE*, const TrackLayout&, const ByteBuffer&, const RunOptions&) {}

}  // namespace quen
