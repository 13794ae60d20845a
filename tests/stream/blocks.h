// Stream bytes for the parser tests, block by block.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/builder.h"
#include "support/memory_stream.h"

namespace quen::testing {

using Bytes = std::vector<uint8_t>;

// EOF with the size field the device writes.
inline const Bytes kEof = {0x0D, 0x0D, 0x00, 0x00};

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Out-of-band blocks as the stream writer lays them out.
inline Bytes index_block(uint32_t pos, uint32_t sample_counter) {
    synth::StreamWriter w;
    w.index(pos, sample_counter);
    return w.bytes();
}

inline Bytes stream_info_block(uint32_t pos) {
    synth::StreamWriter w;
    w.stream_info(pos);
    return w.bytes();
}

inline Bytes stream_end_block(uint32_t pos, uint32_t result) {
    synth::StreamWriter w;
    w.stream_end(pos, result);
    return w.bytes();
}

inline Bytes info_block(const std::string& text) {
    synth::StreamWriter w;
    w.info(text);
    return w.bytes();
}

}  // namespace quen::testing
