// What one run found, as data, for callers that summarise many runs (the whole-disk
// command): the same records the report is printed from, never re-read from its text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decode/flux_timing.h"
#include "sector/readings.h"

namespace quen {

// Why a run ended before its report was complete.
enum class RunFailure : uint8_t {
    None = 0,
    Usage,                 // an option the analyser does not know, or no input named
    Unreadable,            // the input file could not be read
    Undecodable,           // the input was read but is not a stream the reader can decode
    TooFewRevolutions,     // fewer than the three revolutions the analysis needs
    RevolutionOutOfRange,  // -r names a revolution the stream does not hold
    OutputNotCreatable,    // the named output file could not be created
    WriteFailed,           // an output or plot file could not be written or created
};

// One ID field the ID locator found, with what it carries.
struct IdFigure {
    uint8_t cylinder = 0;
    uint8_t head = 0;
    uint8_t sector = 0;
    uint8_t size_code = 0;
    bool crc_ok = false;
};

// One sector the sector decoder followed, in the order of the ID fields.
struct SectorFigure {
    uint8_t sector = 0;
    bool id_crc_ok = false;
    bool has_data = false;
    bool data_crc_ok = false;
    uint16_t fuzzy_position = 0;  // 0: every revolution read the same data
    uint8_t data_mark = 0;        // the DATA field's address mark, 0 without one
    // Sync patterns inside the ID and DATA fields in the sector decoder's framing, and
    // whether a run of them leads to an address mark (only with FigureDetail::kFieldSyncs,
    // and only for the sector numbers the track decoder found a sync mark in a field of).
    uint16_t field_sync_patterns = 0;
    bool field_sync_then_mark = false;
    // Only with FigureDetail::kDetailSectorData: whether the sector decoder met the ID field
    // in the analysed revolution, the field as it read it there, and every revolution's data.
    bool found = true;
    uint8_t cylinder = 0;
    uint8_t head = 0;
    uint8_t size_code = 0;
    SectorReadings readings{};
};

// What the figures hold beyond what every caller needs, asked for by the callers that
// use it so that the others do not pay for it.
enum FigureDetail : uint8_t {
    kDetailSummary = 0,
    kDetailFieldSyncs = 1 << 0,
    kDetailSectorData = 1 << 1,  // what sector images need
    kDetailTiming = 1 << 2,  // the flux timing of the analysed revolution, for pictures of it
};

// Where the track decoder found a field along the revolution; length 0: not found.
struct FieldPlace {
    uint32_t position_ns = 0;  // from the index
    uint32_t length_ns = 0;
};

// A data field's address mark: an ordinary one, or the deleted data mark.
enum class DataMark : uint8_t { kNormal, kDeleted };

// One sector as the track decoder met it, in track order.
struct PlacedSectorFigure {
    uint8_t sector = 0;
    FieldPlace id;
    FieldPlace data;
    bool id_crc_ok = false;
    bool data_crc_ok = false;
    DataMark mark = DataMark::kNormal;
};


// One entry of the protection list, in the list's order.
struct FindingFigure {
    int32_t kind = 0;     // the ProtType code
    int32_t sector = -1;  // -1: the finding concerns the whole track
    int32_t value = -1;   // -1: the finding carries no value
};

struct RunFigures {
    bool completed = false;  // the report ran to its protection list
    RunFailure failure = RunFailure::None;
    // The detail of a failure to read or decode the input: the system's errno, or the
    // stream decoder's error code (StreamError).
    int system_error = 0;
    int stream_error = 0;
    uint32_t intervals_before_error = 0;  // flux intervals read before the stream's error
    int requested_revolution = 0;  // the -r number as the run took it (1-based)

    // From the set-up; 0 when the stream could not be read.
    int revolutions = 0;
    double rpm_avg = 0.0;
    std::string stream_info;  // the stream's info text, as the file carries it

    // Track decoder totals.
    int32_t track_bytes = 0;  // as the report counts them: without the closing entry
    uint32_t track_ns = 0;
    int id_good = 0;
    int id_bad = 0;
    int data_good = 0;
    int data_bad = 0;
    int synch_good = 0;
    int synch_bad = 0;

    std::vector<IdFigure> ids;
    std::vector<SectorFigure> sectors;
    std::vector<FindingFigure> findings;
    std::vector<PlacedSectorFigure> placed;  // at most TrackLayout::kMaxSlots - 1
    std::shared_ptr<const FluxTiming> timing;  // null unless asked for with kDetailTiming
};

}  // namespace quen
