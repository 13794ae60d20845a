// The work one run may spend on what a well-formed track never asks for. A damaged or
// crafted stream can make the comparison passes read whole revolutions again for every
// ID field, and -v write a line for every interval each time; past these limits the run
// skips the remaining comparison passes, or writes no more diagnostic lines, and says so.
#pragma once

#include <cstdint>
#include <cstdio>

namespace quen {

// The limits of one run, as settings: every run takes the standard ones.
struct WorkLimits {
    // Intervals the sector decodes may read: some 0.6 s of work. The largest real capture
    // at hand (9 sectors, 3 revolutions) reads 0.16 million, a 5-revolution track 0.28 million.
    static constexpr uint64_t kPassIntervals = 40'000'000;
    // Diagnostic text (-v) of the whole run. The real captures at hand write 37 KB.
    static constexpr uint64_t kDiagBytes = 64ull << 20;

    uint64_t pass_intervals = kPassIntervals;
    uint64_t diag_bytes = kDiagBytes;
};

// What a run has spent of its limits.
class WorkBudget {
public:
    explicit WorkBudget(const WorkLimits& limits = {})
        : pass_limit_(limits.pass_intervals), diag_limit_(limits.diag_bytes) {}

    bool passes_left() const { return pass_used_ < pass_limit_; }
    void charge_intervals(uint64_t n) { pass_used_ += n; }

    bool diag_spent() const { return diag_used_ >= diag_limit_; }
    uint64_t diag_left() const { return diag_spent() ? 0 : diag_limit_ - diag_used_; }
    uint64_t diag_used() const { return diag_used_; }
    // Counts text written to `out`; the write that reaches the limit is followed by the
    // one line that says no more come.
    void charge_diag(uint64_t bytes, FILE* out) {
        if (diag_spent()) return;
        diag_used_ += bytes;
        if (diag_spent()) std::fprintf(out, kDiagEndLine, static_cast<unsigned long long>(diag_limit_));
    }

    // Diagnostic text held in memory for decodings still to come, which write it later.
    // All of it together counts against what the run may still write, so that a stream
    // of many revolutions holds no more than one run's worth of -v text.
    uint64_t diag_room_to_keep() const { return diag_left() > diag_kept_ ? diag_left() - diag_kept_ : 0; }
    void keep_diag(uint64_t bytes) { diag_kept_ += bytes; }

    static constexpr const char* kDiagEndLine = "  ** No more diagnostic lines: the run's limit of %llu bytes is reached\n";

private:
    uint64_t pass_limit_;
    uint64_t diag_limit_;
    uint64_t pass_used_ = 0;
    uint64_t diag_used_ = 0;
    uint64_t diag_kept_ = 0;
};

}  // namespace quen
