// One whole analysis, callable in-process.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "driver/figures.h"
#include "base/work_budget.h"

namespace quen {

struct RunIo {
    FILE* out = stdout;        // the process's standard output
    FILE* err = stderr;        // the process's standard error
    bool wait_for_key = false; // abnormal ends wait for a key press (only on a terminal)
    std::string plot_dir;      // where plot files go; empty = current directory
    RunFigures* figures = nullptr;  // filled with what the run found, when given
    // The run's work budget, for tests that set the limits or read what was used; the
    // run makes its own with the standard limits when null.
    WorkBudget* work_budget = nullptr;
    // Stream bytes to analyse instead of reading the input file, which then only names the
    // stream in the report; they must stay valid during the call.
    std::optional<std::span<const uint8_t>> stream_bytes;
};

// Runs the analyser on `args` (the arguments after the program name) and returns
// the exit code: 1 after a completed run, 2 after an abnormal end.
int run_quenanalyze(const std::vector<std::string>& args, const RunIo& io);

}  // namespace quen
