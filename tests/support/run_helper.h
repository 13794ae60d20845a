// Runs whole analyses in-process and captures what they print.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// Runs the analyser with args; plot files go to plot_dir (empty: current directory). With
// stream_bytes the run takes its stream from them and the input name only labels it.
RunResult run_analyser(const std::vector<std::string>& args, const std::string& plot_dir = "",
                       const std::vector<uint8_t>* stream_bytes = nullptr);

// The report without its first line (the banner carries the build and run times).
std::string without_banner(const std::string& report);

}  // namespace quen::testing
