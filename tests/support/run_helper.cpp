#include "support/run_helper.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "driver/run.h"
#include "support/capture.h"

namespace quen::testing {

std::string make_temp_dir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quen-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return tmpl;
}

std::string write_temp_file(const std::vector<uint8_t>& bytes, const std::string& name) {
    const std::string path = make_temp_dir() + "/" + name;
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

SeparatorSharing default_sharing() {
    const char* v = std::getenv("QUEN_TEST_SEPARATOR");
    return v != nullptr && std::string(v) == "per-decoder" ? SeparatorSharing::kPerDecoder : SeparatorSharing::kShared;
}

RunResult run_analyser(const std::vector<std::string>& args, const std::string& plot_dir, SeparatorSharing sharing,
                       WorkBudget* budget, const std::vector<uint8_t>* stream_bytes) {
    Capture out;
    Capture err;
    RunIo io;
    io.out = out.get();
    io.err = err.get();
    io.wait_for_key = false;
    io.plot_dir = plot_dir;
    io.separator_sharing = sharing;
    io.work_budget = budget;
    if (stream_bytes != nullptr) io.stream_bytes = std::span<const uint8_t>(*stream_bytes);
    RunResult r;
    r.code = run_quenanalyze(args, io);
    r.out = out.text();
    r.err = err.text();
    return r;
}

std::string without_banner(const std::string& report) {
    const size_t nl = report.find('\n');
    return nl == std::string::npos ? std::string() : report.substr(nl + 1);
}

}  // namespace quen::testing
