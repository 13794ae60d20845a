// Test stream builder: MFM cells, IBM-style tracks, flux timing and KryoFlux stream bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "stream/stream.h"

namespace quen::synth {

// ---------------------------------------------------------------- stream blocks
// Writes KryoFlux stream blocks one by one, tracking the stream position
// (bytes of non-OOB blocks). Anything can be written, malformed streams included.
class StreamWriter {
public:
    // Shortest encoding of one interval: an Ovl16 block per 65536 ticks, then
    // Flux1 (0x0E..0xFF), Flux2 (up to 0x7FF) or Flux3.
    void flux(uint32_t ticks);
    void flux1(uint8_t v);
    void flux2(uint16_t v);  // v <= 0x7FF
    void flux3(uint16_t v);
    void ovl16();
    void nop1();
    void nop2();
    void nop3();
    // OOB block whose size field is payload.size().
    void oob(uint8_t type, const std::vector<uint8_t>& payload);
    // OOB block with an arbitrary size field (may disagree with the payload).
    void oob_raw(uint8_t type, uint16_t size, const std::vector<uint8_t>& payload);
    void stream_info(uint32_t pos, uint32_t transfer_ms = 0);
    void index(uint32_t pos, uint32_t sample_counter, uint32_t index_counter = 0);
    void stream_end(uint32_t pos, uint32_t result);
    void info(const std::string& text);  // payload is the text plus one NUL
    void eof();
    void raw(const std::vector<uint8_t>& b);

    uint32_t stream_pos() const { return pos_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    uint32_t pos_ = 0;
};

// An index pulse `pre_ticks` into interval number `interval` (pre_ticks < that interval).
struct IndexPulse {
    uint32_t interval;
    uint32_t pre_ticks;
};

struct StreamOptions {
    bool stream_info = true;  // a StreamInfo block at the start
    bool stream_end = true;   // StreamEnd (result 0) before EOF
    bool eof = true;
    std::string info = "sck=24027428.5714285714, ick=3003428.5714285625";
};

// Flux intervals in ticks with index pulses placed exactly where given (Index blocks
// with the stream position and sample counter that resolve to that pulse).
std::vector<uint8_t> encode_stream(const std::vector<uint32_t>& intervals_ticks, const std::vector<IndexPulse>& pulses,
                                   const StreamOptions& opts = {});

// ---------------------------------------------------------------- MFM cells
// A cell sequence: one entry per bit cell, 1 = a flux transition in that cell.
class MfmCells {
public:
    // Data byte with correct MFM clock bits (clock 1 only between two 0 data bits).
    void byte(uint8_t v);
    void bytes(uint8_t v, size_t n);
    void bytes(const std::vector<uint8_t>& v);
    void sync_a1(size_t n = 3);  // 0x4489: A1 with a missing clock bit
    void sync_c2(size_t n = 3);  // 0x5224: C2 with a missing clock bit
    // 16 raw cells, oldest first in bit 15.
    void pattern(uint16_t cells16);
    // Raw cells from a text of '0' and '1'.
    void raw(const std::string& cells01);
    // n cells without any transition.
    void no_flux(size_t n);

    // Running CRC-CCITT of the bytes written since the last crc_reset (sync marks included).
    void crc_reset() { crc_ = 0xFFFF; }
    uint16_t crc() const { return crc_; }
    // Writes the two CRC bytes of the running CRC (high byte first).
    void crc_bytes();

    const std::vector<uint8_t>& cells() const { return cells_; }
    size_t size() const { return cells_.size(); }
    void append(const MfmCells& other);

private:
    void put_cell(uint8_t c);
    std::vector<uint8_t> cells_;
    uint16_t crc_ = 0xFFFF;
};

// CRC-CCITT of the parts one after another, from 0xFFFF: give the sync marks to match a field's.
uint16_t crc_of(std::initializer_list<std::vector<uint8_t>> parts);

// ---------------------------------------------------------------- IBM track
struct SectorPlan {
    uint8_t track = 0;
    uint8_t head = 0;
    uint8_t sector = 1;
    uint8_t size_code = 2;
    uint8_t id_mark = 0xFE;
    uint8_t data_mark = 0xFB;
    bool has_data = true;
    std::vector<uint8_t> data;          // empty: a pattern of the field's size
    std::optional<uint16_t> id_crc;     // override of the ID field's CRC bytes
    std::optional<uint16_t> data_crc;   // override of the DATA field's CRC bytes
    size_t gap2_zeros = 12;             // 00 bytes before the ID sync marks
    size_t id_syncs = 3;                // A1 marks before the ID mark
    size_t gap3_4e = 22;                // 4E bytes after the ID field
    size_t gap3_zeros = 12;             // 00 bytes before the DATA sync marks
    size_t data_syncs = 3;              // A1 marks before the DATA mark
    size_t gap4_4e = 80;                // 4E bytes after the DATA field
};

struct TrackPlan {
    bool index_mark = true;   // 4E x gap1, 00 x12, C2 C2 C2 FC, 4E x gap1a
    size_t gap1_4e = 80;
    size_t gap1a_4e = 50;
    std::vector<SectorPlan> sectors;
    // Pad the track with 4E bytes to this many bytes (0: no padding).
    size_t total_bytes = 6250;
};

// The data a sector gets when its plan gives none.
std::vector<uint8_t> pattern_data(size_t n);

// Nine 512-byte sectors numbered 1..9, as a double-density PC floppy.
TrackPlan standard_track(uint8_t track = 0, uint8_t head = 0);
MfmCells build_track(const TrackPlan& plan);
// Writes one sector (GAP2 sync zone, ID field, GAP3, DATA field, GAP4) into `cells`.
void write_sector(MfmCells& cells, const SectorPlan& s);
// Pieces of a sector for tracks written by hand: the GAP2 sync zone with the ID field and
// its CRC; the DATA field's sync zone with its mark, the CRC started for the data to come.
void write_id_field(MfmCells& cells, const SectorPlan& s);
void write_data_mark(MfmCells& cells, const SectorPlan& s);

// ---------------------------------------------------------------- hostile tracks
// Streams shaped to make every comparison pass read much for nothing: a revolution of
// 255 ID fields without DATA, then revolutions that hold none of them.
enum class HostileShape {
    kLongGaps,        // then 254 revolutions of four long intervals each
    kNoise,           // then `revolutions` of MFM noise without a synch mark
    kShortIntervals,  // then `revolutions` of 60,000 one-cell intervals and a gap
};
std::vector<uint8_t> hostile_stream(HostileShape shape, int revolutions = 2);
// `revolutions` alike, each with sectors 1 and 2, `noise_cells` one-cell intervals (an
// MFM violation each, so a -v line each), then sector 3. The decodings of sector 1 end
// before the noise, but the reading they start from in each revolution goes on to
// sector 3 and keeps the noise's text for the decodings still to come.
std::vector<uint8_t> noisy_revolutions_stream(int revolutions, size_t noise_cells);

// ---------------------------------------------------------------- damaged streams
enum class Damage {
    kScatteredBytes,  // byte errors, flux and block codes alike
    kGarbageBurst,    // a burst of garbage
    kNoFluxStretch,   // a stretch of long intervals: no flux, overflow blocks
    kCutShort,
};
// Damages a stream where a pseudo-random sequence, carried on in `rng_state`, says.
void damage_stream(std::vector<uint8_t>& bytes, Damage damage, uint32_t& rng_state);

// ---------------------------------------------------------------- flux timing
struct FluxTiming {
    double cell_ns = 2000.0;
    double jitter_ns = 0.0;   // uniform jitter of each transition, +- this many ns
    double speed = 1.0;       // > 1: the drive turns faster, every interval shorter
    uint32_t seed = 1;
    double sck = kDefaultSampleClock;
};

// The revolutions' cells one after another between a lead-in of eight 4E bytes and a
// lead-out (the same unless given), with the cell at which each revolution starts and
// the one after the last.
struct LaidOutCells {
    std::vector<uint8_t> cells;
    std::vector<size_t> rev_start;
};
LaidOutCells lay_out(const std::vector<MfmCells>& revs, const MfmCells* lead_out = nullptr);

// Single transitions moved off their place: (index into the laid-out cells, ns later).
using CellShifts = std::vector<std::pair<size_t, double>>;

// When each transition of `cells` comes, in ticks of timing.sck: at the end of its cell,
// moved by the jitter and the shifts, and always at least one tick after the one before.
std::vector<uint64_t> transition_ticks(const std::vector<uint8_t>& cells, const FluxTiming& timing,
                                       const CellShifts& shifts = {});

// The intervals from time 0 to the first transition and on between each two.
std::vector<uint32_t> intervals_between(const std::vector<uint64_t>& transitions_ticks);

// Flux intervals in ticks with the index pulses inside them: what a stream or an image is
// written from.
struct FluxTrack {
    std::vector<uint32_t> intervals_ticks;
    std::vector<IndexPulse> pulses;
};
// The flux of consecutive revolutions of cells as revolutions_to_stream lays it out.
FluxTrack revolutions_to_flux(const std::vector<MfmCells>& revs, const FluxTiming& timing = {});

// The flux intervals (in ticks) of consecutive revolutions of cells, with an index
// pulse a quarter cell into each revolution and one after the last: N revolutions give
// N + 1 pulses. A short lead-in of 4E cells comes before the first pulse.
std::vector<uint8_t> revolutions_to_stream(const std::vector<MfmCells>& revs, const FluxTiming& timing = {},
                                           const StreamOptions& opts = {});

// The same track repeated `revolutions` times.
std::vector<uint8_t> track_stream(const MfmCells& track, int revolutions = 3, const FluxTiming& timing = {},
                                  const StreamOptions& opts = {});

}  // namespace quen::synth
