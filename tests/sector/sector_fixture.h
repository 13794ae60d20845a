// Shared fixtures of the sector tests: streams built in memory from MFM cells (one
// sample-clock tick per nanosecond, so the cursor hands out the cells' exact times)
// and decoder runs with their diagnostic lines captured.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/options.h"
#include "sector/id_locator.h"
#include "stream/stream.h"
#include "support/builder.h"
#include "support/capture.h"
#include "support/decoders.h"

namespace quen::sectortest {

// Cells of one 200 ms revolution at the nominal 2000 ns per cell.
inline constexpr size_t kRevolutionCells = 100000;

struct MemTiming {
    double cell_ns = 2000.0;
    double jitter_ns = 0.0;
    uint32_t seed = 1;
    // Moves single transitions: (cell index counted from the first revolution's start, ns).
    std::vector<std::pair<size_t, double>> shifts;
};

// A stream of the given revolutions with an index pulse at the start of each and one
// after the last. `lead_out` follows the last pulse (empty: the flux data ends there).
std::unique_ptr<QuenStream> mem_stream(const std::vector<synth::MfmCells>& revs, const MemTiming& timing = {},
                                       const synth::MfmCells* lead_out = nullptr);

// The same track `revolutions` times.
std::unique_ptr<QuenStream> mem_track_stream(const synth::MfmCells& track, int revolutions = 3,
                                             const MemTiming& timing = {});

// The cells as a text of '0' and '1', and back.
std::string cells_text(const synth::MfmCells& track);
synth::MfmCells from_text(const std::string& cells01);

// The track turned so that its cell `offset` comes right behind the index.
synth::MfmCells rotate(const synth::MfmCells& track, size_t offset);

// Pads a track with 4E bytes to one revolution.
synth::MfmCells padded(synth::MfmCells track);

// The track with its cells from `first` on replaced by `cells01` ('0' and '1').
synth::MfmCells with_cells(const synth::MfmCells& track, size_t first, const std::string& cells01);

// The first n cells of a track.
synth::MfmCells first_cells(const synth::MfmCells& track, size_t n);

// The cell at which the given byte of a cell sequence starts (16 cells per byte).
inline size_t byte_cell(size_t byte_index) { return byte_index * 16; }

using testing::Capture;
using testing::lines_of;

// Options for a decoder run with the diagnostic lines and the standard error captured.
RunOptions capture_opts(const Capture& diag, const Capture& err, bool verbose = false);

// What the ID locator finds in one revolution, told with -v.
struct Located {
    IdLayout layout;
    ByteBuffer buffer{200};
    uint8_t n = 0;
    std::string diag;
};
Located locate(const QuenStream& s, uint8_t revolution = 1);

}  // namespace quen::sectortest
