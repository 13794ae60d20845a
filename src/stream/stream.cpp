#include "stream/stream.h"

namespace quen {

QuenStream::~QuenStream() = default;

int QuenStream::decode() { return kStreamNoEof; }
int QuenStream::parse_blocks() { return kStreamNoEof; }
void QuenStream::append_info(const uint8_t*, uint32_t) {}
const char* QuenStream::info_value(const char*) { return nullptr; }

std::unique_ptr<QuenStream> read_stream_file(const std::string& name, FILE* err) {
    std::fprintf(err, "Could not open file %s\n", name.c_str());
    return nullptr;
}

}  // namespace quen
