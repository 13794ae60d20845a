// Runs whole analyses in-process and captures what they print.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/options.h"
#include "base/work_budget.h"

namespace quen::testing {

struct RunResult {
    int code;
    std::string out;
    std::string err;
};

// A fresh empty directory under the system's temporary directory.
std::string make_temp_dir();
// Writes bytes into a file in a fresh temporary directory and returns its path.
std::string write_temp_file(const std::vector<uint8_t>& bytes, const std::string& name = "track.raw");
std::string read_file(const std::string& path);

// Runs the analyser with args; plot files go to plot_dir (empty: current directory).
RunResult run_analyser(const std::vector<std::string>& args, const std::string& plot_dir = "");

// One analysis of a capture's bytes with the given settings and limits, as a run without
// an output file makes it once its arguments are read: the report in `out`, the -v lines
// and the messages in `err`; code 1 for a completed analysis, 2 for any other end.
RunResult run_analysis(const std::vector<uint8_t>& capture_bytes, RunOptions opts, WorkBudget& budget);

// Where a program run as a process of its own sends its standard output.
enum class StdoutTo : uint8_t {
    kCapture,     // a file, read back into RunResult::out
    kFullDisk,    // /dev/full: every write fails for lack of room
    kClosed,      // descriptor 1 closed
    kClosedPipe,  // a pipe nobody reads any more
};

// Runs a program of this build (`path`) in a process of its own, with standard input
// empty and standard error captured. A program killed by a signal gives 128 + the signal.
RunResult run_program(const std::string& path, const std::vector<std::string>& args, StdoutTo to);

// The report without its first line (the banner carries the build and run times).
std::string without_banner(const std::string& report);

}  // namespace quen::testing
