#include "decode/plot.h"

#include "decode/mfm.h"

namespace quen {

PlotFile::PlotFile(const RunOptions& opts, const std::string& name, const char* fail_line)
    : err_(opts.err_out), path_(opts.plot_dir.empty() ? name : opts.plot_dir + "/" + name) {
    f_ = std::fopen(path_.c_str(), "w");
    if (f_ == nullptr) {
        std::fputs(fail_line, err_);
        throw RunExit{2};
    }
}

PlotFile::PlotFile(PlotFile&& other) noexcept : f_(other.f_), err_(other.err_), path_(std::move(other.path_)) {
    other.f_ = nullptr;
}

PlotFile& PlotFile::operator=(PlotFile&& other) noexcept {
    if (this != &other) {
        if (f_ != nullptr) std::fclose(f_);
        f_ = other.f_;
        err_ = other.err_;
        path_ = std::move(other.path_);
        other.f_ = nullptr;
    }
    return *this;
}

PlotFile::~PlotFile() {
    if (f_ != nullptr) std::fclose(f_);
}

void PlotFile::close() {
    if (f_ == nullptr) return;
    FILE* f = f_;
    f_ = nullptr;
    const bool write_failed = std::ferror(f) != 0;
    const bool close_failed = std::fclose(f) != 0;
    // A full disk must not leave a truncated plot file behind a successful run.
    if (write_failed || close_failed) {
        std::fprintf(err_, "Error writing file %s\n", path_.c_str());
        throw RunExit{2};
    }
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
