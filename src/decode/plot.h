// Plot data files for the plotting tool, shared by the track and sector decoders.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "decode/records.h"
#include "base/options.h"

namespace quen {

// A plot file created in the run's plot directory. Creation failure writes
// `fail_line` to the run's standard error and ends the run with exit code 2;
// a write error found at close() writes "Error writing file %s\n" and does the same.
class PlotFile {
public:
    PlotFile() = default;
    PlotFile(const RunOptions& opts, const std::string& name, const char* fail_line);
    PlotFile(const PlotFile&) = delete;
    PlotFile& operator=(const PlotFile&) = delete;
    PlotFile(PlotFile&& other) noexcept;
    PlotFile& operator=(PlotFile&& other) noexcept;
    ~PlotFile();

    bool is_open() const { return f_ != nullptr; }
    FILE* get() const { return f_; }
    void close();

private:
    FILE* f_ = nullptr;
    FILE* err_ = nullptr;
    std::string path_;
};

// "//\n// Pos      clk  flux color\n//\n"
void write_trans_header(FILE* f);
// One sampled flux interval: time, bit period, interval capped at 12000 and its colour class.
void write_trans_line(FILE* f, uint32_t total_ns, uint16_t clk, int32_t interval_ns, uint16_t cells);
// The DATA span line shared by layout.dat and the per-sector layout files.
void write_data_span_line(FILE* f, uint8_t sector, const AreaInfo& data, const char* colour);

}  // namespace quen
