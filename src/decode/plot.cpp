#include "decode/plot.h"

#include "decode/mfm.h"

namespace quen {

PlotFile::PlotFile(const RunOptions& opts, const std::string& name, const char* fail_line)
    : file_(std::make_unique<OutputFile>(path_in(opts.plot_dir, name), Replace::kInPlace)),
      err_(opts.err_out),
      stop_(opts.stop) {
    if (!file_->is_open()) {
        std::fputs(fail_line, err_);
        fail();
    }
}

void PlotFile::fail() {
    failed_ = true;
    if (stop_ != nullptr) stop_->stopped = true;
}

bool PlotFile::close() {
    if (!is_open()) return !failed_;
    // A full disk must not leave a truncated plot file behind a successful run.
    if (!file_->commit()) {
        std::fprintf(err_, "Error writing file %s\n", file_->path().c_str());
        fail();
        return false;
    }
    return true;
}

void write_trans_header(FILE* f) { std::fputs("//\n// Pos      clk  flux color\n//\n", f); }

void write_trans_line(FILE* f, uint32_t total_ns, uint16_t clk, int32_t interval_ns, uint16_t cells) {
    const uint32_t as_unsigned = static_cast<uint32_t>(interval_ns);
    const int shown = as_unsigned >= 12000u ? 12000 : static_cast<int>(as_unsigned);
    const char* colour = in_border_window(clk, interval_ns, cells) ? "green"
                         : (cells >= 2 && cells <= 4)             ? "blue"
                                                                  : "red";
    std::fprintf(f, "%-10d %-5d %-d ", static_cast<int>(total_ns / 1000), clk, shown);
    std::fprintf(f, "%s\n", colour);
}

void write_data_span_line(FILE* f, uint8_t sector, const AreaInfo& data, const char* colour) {
    const uint32_t start = data.position_ns / 1000;
    const uint32_t len = data.length_ns / 1000;
    std::fprintf(f, "%-6d %-6d \"DATA for Sector %d Position=%d Length=%d Avg Clock=%.2f\" %s\n",
                 static_cast<int>(start), static_cast<int>(start + len), sector, static_cast<int>(start),
                 static_cast<int>(len), area_clk_us(data), colour);
}

}  // namespace quen
