// The approach of a revolution: the reading before the wanted sector's ID field can be
// met, the same whatever sector is wanted. Read once per revolution, it keeps the points
// where the decodings of the run's expected ID positions take it up.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "decode/flux_reader.h"
#include "decode/records.h"
#include "sector/sector_plot.h"

namespace quen {

// Whether an ID field starting at start_ns may be the wanted one: it may come a little
// before where the locator saw it.
bool may_be_wanted(uint32_t start_ns, uint32_t expected_ns);

// A decoding's state before a byte (or, at the end of the approach, before the next
// interval), as far as it can differ from the initial one before the wanted ID field.
struct ApproachPoint {
    uint32_t mark_ns;  // start of the ID mark byte that follows
    bool in_bytes;     // taken up at a byte of an interval already read
    FluxReading reading;
    AreaInfo gap2;
    uint32_t noflux_ns;
    uint32_t byte_count;
    int64_t intervals_left;
    ByteMarks byte_marks;
    size_t diag_bytes;  // diagnostic text written before this point
    bool text_whole;    // all of it is kept: none was left out for the run's limit
};

class RevolutionApproach {
public:
    // `expected_ns` sorted; with `keep_text` the approach's -v lines are kept for replay.
    RevolutionApproach(const std::vector<uint32_t>& expected_ns, bool keep_text);
    ~RevolutionApproach();
    RevolutionApproach(const RevolutionApproach&) = delete;
    RevolutionApproach& operator=(const RevolutionApproach&) = delete;

    // Where the reading of the approach writes its lines, within `text_limit`.
    DiagSink diag(WorkBudget& text_limit) const { return {diag_, &text_limit}; }
    // Without room for the text the decodings must write it themselves, from the index.
    bool capture_failed() const { return capture_failed_; }
    size_t diag_bytes() const { return diag_ != nullptr ? static_cast<size_t>(std::ftell(diag_)) : 0; }
    // The text kept once the approach is read.
    size_t kept_bytes() const { return diag_text_ != nullptr ? diag_size_ : 0; }
    // How far the kept text is whole: up to the end of the line that reached the limit
    // it was kept within, or all of it.
    uint64_t whole_bytes() const { return whole_bytes_; }
    void set_whole_bytes(uint64_t n) { whole_bytes_ = n; }

    void before_byte(const ApproachPoint& p) { pending_.emplace(p); }
    // Keeps the point before this mark when it is the first that may be the wanted one
    // for some expected position; true once every expected position has its point.
    bool at_id_mark(uint32_t mark_ns);
    void finish(std::optional<ApproachPoint> end);

    // Where the decoding for expected_ns begins, or null when it must read from the index.
    const ApproachPoint* start_for(uint32_t expected_ns) const;
    // Writes the text read before `p` to `sink`.
    void replay_diag(const ApproachPoint& p, const DiagSink& sink) const {
        if (diag_text_ != nullptr) sink.replay(diag_text_, p.diag_bytes);
    }
    // Once the run may write no more diagnostic lines, the text kept for them goes.
    void drop_diag_text();

private:
    const std::vector<uint32_t>& expected_;
    bool capture_failed_ = false;
    FILE* diag_ = nullptr;
    char* diag_text_ = nullptr;
    size_t diag_size_ = 0;
    size_t resolved_ = 0;
    uint64_t whole_bytes_ = UINT64_MAX;
    std::optional<ApproachPoint> pending_;
    std::vector<ApproachPoint> points_;
    std::optional<ApproachPoint> end_;
};

}  // namespace quen
