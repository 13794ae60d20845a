// The whole analysis in-process: options from the first input bytes, the stream from the
// rest, reports into a sink, plot and output files into a scratch folder made the current
// directory, where a run puts its plot files.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "driver/run.h"
#include "run_args.h"

namespace {

struct Scratch {
    std::string dir;
    FILE* sink = nullptr;

    Scratch() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quen-fuzz-XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) std::abort();
        dir = tmpl;
        if (chdir(dir.c_str()) != 0) std::abort();
        sink = std::fopen("/dev/null", "w");
        if (sink == nullptr) std::abort();
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

Scratch& scratch() {
    static Scratch s;
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < quen::fuzz::kPrefixBytes) return 0;
    Scratch& s = scratch();
    quen::RunIo io;
    io.out = s.sink;
    io.err = s.sink;
    io.wait_for_key = false;
    // The stream goes through a file, as every run reads its input.
    const std::string input = s.dir + "/fuzz.raw";
    FILE* f = std::fopen(input.c_str(), "wb");
    if (f == nullptr) std::abort();
    const size_t n = size - quen::fuzz::kPrefixBytes;
    if (std::fwrite(data + quen::fuzz::kPrefixBytes, 1, n, f) != n || std::fclose(f) != 0) std::abort();
    const int code = quen::run_quenanalyze(quen::fuzz::run_args(data, input, s.dir + "/report.txt"), io);
    // Any other end is a fault the fuzzer must stop at.
    if (code != 1 && code != 2) std::abort();
    return 0;
}
