// Settings of one run, filled by the command-line scan and read by every stage;
// kept below every layer so that none of them depends on the driver.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/work_budget.h"

namespace quen {

inline constexpr const char* kProgramName = "QuenAnalyze V1.2";

// Whether the run must end at once: a plot file could not be created or written, and its
// line is said. Recorded where that happens; every decoder returns as soon as it sees it,
// and the analysis ends the run with nothing more written.
struct RunStop {
    bool stopped = false;
};

struct RunOptions {
    bool look_for_sync = true;     // -s clears
    bool pll_off = false;          // -p sets
    bool verbose = false;          // -v sets
    bool print_buffers = true;     // -b clears
    bool clock_info = false;       // -c sets
    bool plot = false;             // -t sets
    bool sector_all_areas = false; // -f sets
    bool simple_decimal = false;   // -m sets
    // 1-based as given on the command line, 0-based once the driver has validated it.
    uint8_t revolution = 1;
    // Diagnostic lines of the decoders (-v): standard error, or the output file when one is named.
    FILE* diag_out = stderr;
    // The run's standard error: set-up failures and plot file failures go here.
    FILE* err_out = stderr;
    // Directory the plot files are created in; empty means the current directory.
    std::string plot_dir;
    // The run's limits on repeated work and diagnostic text.
    WorkLimits limits;
    // What the run has spent of `limits`, made by the analysis for its stages; none when null.
    WorkBudget* budget = nullptr;
    // Where a plot file's failure is recorded for the whole run; with -t it must be given.
    RunStop* stop = nullptr;
};

}  // namespace quen
