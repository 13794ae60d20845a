// Runs whole analyses in-process and captures what they print.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/options.h"
#include "driver/figures.h"
#include "stream/scp.h"

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

// What happens to the directory a run is made in.
enum class RunDir : uint8_t {
    kKept,
    kRemoved,  // removed once the run is in it, before it starts: no file can be made there
};

// Runs the analyser with args in-process. With `dir` given the run is made there as the
// current directory, where its plot files go; the caller's current directory comes back after.
RunResult run_analyser(const std::vector<std::string>& args, const std::string& dir = "",
                       RunDir fate = RunDir::kKept);

// One analysis as a run without an output file makes it once its arguments are read: the
// report in `out`, the -v lines and the messages in `err`; code 1 for a completed analysis,
// 2 for any other end; and what it found.
struct AnalysisResult : RunResult {
    RunFigures figures;
};
// Of a capture's bytes, with the given settings and limits.
AnalysisResult analyse_bytes(const std::vector<uint8_t>& capture_bytes, const RunOptions& opts);
// Of a capture file with the given option arguments ("-v", "-r2"), of `track` in an image.
AnalysisResult analyse_file(const std::string& path, const std::vector<std::string>& options,
                            std::optional<TrackSide> track = std::nullopt);

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
