#include "disk/messages.h"

namespace quen::disk {

OwnedFile discard_sink() { return OwnedFile(std::fopen("/dev/null", "w")); }

std::string read_back(FILE* f, size_t max_bytes) {
    std::string text;
    std::fflush(f);
    std::rewind(f);
    char chunk[4096];
    size_t n;
    while (text.size() < max_bytes && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    if (text.size() > max_bytes) text.resize(max_bytes);
    return text;
}

void print_lines(FILE* out, const std::string& prefix, const std::string& text) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::fprintf(out, "%s%.*s\n", prefix.c_str(), static_cast<int>(end - at), text.c_str() + at);
        at = end + 1;
    }
}

}  // namespace quen::disk
