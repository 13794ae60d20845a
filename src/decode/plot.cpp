#include "decode/plot.h"

namespace quen {

PlotFile::PlotFile(const RunOptions&, const std::string&, const char*) {}
PlotFile::PlotFile(PlotFile&& other) noexcept : f_(other.f_), err_(other.err_), path_(std::move(other.path_)) { other.f_ = nullptr; }
PlotFile& PlotFile::operator=(PlotFile&& other) noexcept {
    if (this != &other) {
        if (f_) std::fclose(f_);
        f_ = other.f_; err_ = other.err_; path_ = std::move(other.path_);
        other.f_ = nullptr;
    }
    return *this;
}
PlotFile::~PlotFile() { if (f_) std::fclose(f_); }
void PlotFile::close() {}
void write_trans_header(FILE*) {}
void write_trans_line(FILE*, uint32_t, uint16_t, int32_t, uint16_t) {}
void write_data_span_line(FILE*, uint8_t, const AreaInfo&, const char*) {}

}  // namespace quen
