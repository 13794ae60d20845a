// The sector decodes of a run: each sector in the chosen revolution, then in the others
// to find its fuzzy position.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "decode/layouts.h"
#include "decode/records.h"
#include "base/options.h"
#include "decode/separator.h"
#include "sector/sector_decoder.h"

namespace quen {

// Room for a sector of 1024 bytes with all its areas; a buffer grows beyond it when needed,
// but every sector of the run keeps its buffer to the end, so they start no larger.
inline constexpr uint16_t kSectorBufferEntries = 2048;

// The sector decodes of one run. They read the run's shared separator results and, in
// each revolution, take up the reading that is the same for every sector up to where
// the wanted one's ID field may start, read once per revolution. Only the run's
// expected ID positions, given here, are read that way; any other from the index.
class SectorPasses {
public:
    SectorPasses(SeparatorRuns& runs, std::vector<uint32_t> expected_positions_ns);
    ~SectorPasses();
    SectorPasses(const SectorPasses&) = delete;
    SectorPasses& operator=(const SectorPasses&) = delete;

    const FluxCapture* stream() const { return runs_.stream(); }
    // Decodes the wanted sector in one revolution; returns whether its ID field was found.
    bool decode(uint8_t revolution, SectorLayout& layout, uint8_t wanted_sector, uint32_t expected_pos_ns,
                ByteBuffer& buffer, const RunOptions& opts, SectorPlots plots);

    // Comparison passes left out once the run's work budget was spent.
    uint32_t skipped = 0;
    // What the comparison passes decode into, made once for the run.
    ByteBuffer pass_buffer{kSectorBufferEntries};
    SectorLayout pass_layout;
    // Given every decoding of a sector that found its ID field, the analysed revolution's
    // first, for callers that keep the sector's data; none keeps nothing.
    std::function<void(uint8_t revolution, const SectorLayout&, const ByteBuffer&)> reading_sink;

private:
    SeparatorRuns& runs_;
    std::vector<uint32_t> expected_;
    std::array<std::unique_ptr<RevolutionApproach>, 256> approaches_;
    bool texts_dropped_ = false;
};

// Decodes the sector in the chosen revolution, then in the other revolutions to find
// its fuzzy position; writes the sector's layout plot file with -t.
bool analyse_sector(SectorLayout& layout, ByteBuffer& buffer, SectorPasses& passes, uint8_t revolution,
                    uint8_t wanted_sector, uint32_t expected_pos_ns, const RunOptions& opts);

}  // namespace quen
