// Plot data files for the plotting tool, shared by the track and sector decoders.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/files.h"
#include "base/options.h"
#include "decode/records.h"

namespace quen {

// A plot file created in the run's plot directory. Creation failure writes `fail_line`
// to the run's standard error, a write error found at close() writes "Error writing
// file %s\n"; either way the run's stop is recorded and the file reads as failed.
class PlotFile {
public:
    PlotFile() = default;
    PlotFile(const RunOptions& opts, const std::string& name, const char* fail_line);

    bool is_open() const { return file_ != nullptr && file_->is_open(); }
    // Whether creating or writing the file failed; its line is said.
    bool failed() const { return failed_; }
    FILE* get() const { return file_ != nullptr ? file_->get() : nullptr; }
    // False when the file could not be written whole.
    bool close();

private:
    void fail();

    std::unique_ptr<OutputFile> file_;
    FILE* err_ = nullptr;
    RunStop* stop_ = nullptr;
    bool failed_ = false;
};

// "//\n// Pos      clk  flux color\n//\n"
void write_trans_header(FILE* f);
// One sampled flux interval: time, bit period, interval capped at 12000 and its colour class.
void write_trans_line(FILE* f, uint32_t total_ns, uint16_t clk, int32_t interval_ns, uint16_t cells);
// The DATA span line shared by layout.dat and the per-sector layout files.
void write_data_span_line(FILE* f, uint8_t sector, const AreaInfo& data, const char* colour);

}  // namespace quen
