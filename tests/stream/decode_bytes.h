// Decodes literal stream bytes the way read_stream_file does, without a file.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "stream/stream.h"

namespace quen::testing {

struct Decoded {
    int code;
    std::unique_ptr<QuenStream> stream;
};

inline Decoded decode_bytes(const std::vector<uint8_t>& bytes) {
    auto s = std::make_unique<QuenStream>();
    // A copy of exactly the given length, so that the sanitizer sees any read past it.
    std::unique_ptr<uint8_t[]> copy(bytes.empty() ? nullptr : new uint8_t[bytes.size()]);
    for (size_t i = 0; i < bytes.size(); ++i) copy[i] = bytes[i];
    s->data = copy.get();
    s->data_len = static_cast<uint32_t>(bytes.size());
    const int code = s->decode();
    s->data = nullptr;
    return Decoded{code, std::move(s)};
}

// Block bytes shared by the tests.
inline const std::vector<uint8_t> kEof = {0x0D, 0x0D, 0x00, 0x00};

inline std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace quen::testing
