#include "support/capture.h"

#include <sstream>
#include <stdexcept>

namespace quen::testing {

Capture::Capture() : f_(std::tmpfile()) {
    if (f_ == nullptr) throw std::runtime_error("tmpfile failed");
}

Capture::~Capture() { std::fclose(f_); }

std::string Capture::text() const {
    std::fflush(f_);
    std::rewind(f_);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f_)) > 0) s.append(buf, n);
    // Back to the end, so that the code under test can go on writing.
    std::fseek(f_, 0, SEEK_END);
    return s;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream ss(text);
    std::string line;
    while (std::getline(ss, line)) out.push_back(line);
    return out;
}

}  // namespace quen::testing
