#include "stream/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/names.h"
#include "base/files.h"
#include "base/owned_file.h"

namespace quen {
namespace {

constexpr uint8_t kCodeNop1 = 0x08;
constexpr uint8_t kCodeNop2 = 0x09;
constexpr uint8_t kCodeNop3 = 0x0A;
constexpr uint8_t kCodeOvl16 = 0x0B;
constexpr uint8_t kCodeFlux3 = 0x0C;
constexpr uint8_t kCodeOob = 0x0D;

constexpr uint8_t kOobStreamInfo = 1;
constexpr uint8_t kOobIndex = 2;
constexpr uint8_t kOobStreamEnd = 3;
constexpr uint8_t kOobInfo = 4;
constexpr uint8_t kOobEof = 13;

constexpr uint32_t kOobHeaderBytes = 4;
constexpr uint32_t kOverflowTicks = 65536;

// Length of the non-OOB block that starts with each code byte (the OOB code's entry is
// never read): Flux2 below Nop1, Flux1 above the OOB code.
constexpr std::array<uint8_t, 256> kInBandBlockBytes = [] {
    std::array<uint8_t, 256> bytes{};
    for (size_t code = 0; code < bytes.size(); ++code) {
        switch (code) {
        case kCodeNop1: bytes[code] = 1; break;
        case kCodeNop2: bytes[code] = 2; break;
        case kCodeNop3: bytes[code] = 3; break;
        case kCodeOvl16: bytes[code] = 1; break;
        case kCodeFlux3: bytes[code] = 3; break;
        case kCodeOob: bytes[code] = kOobHeaderBytes; break;
        default: bytes[code] = code < kCodeNop1 ? 2 : 1; break;
        }
    }
    return bytes;
}();

// The furthest any block's fields reach behind its code byte.
constexpr uint32_t kBlockLookaheadBytes = 16;

// Length of the block at `block`, with `left` bytes from its code byte to the end of the
// data; longer than `left` when the block is cut by the end.
uint32_t block_bytes(const uint8_t* block, uint64_t left) {
    if (block[0] != kCodeOob) return kInBandBlockBytes[block[0]];
    if (left < kOobHeaderBytes) return kOobHeaderBytes;
    if (block[1] == kOobEof) return kOobHeaderBytes;
    return kOobHeaderBytes + (static_cast<uint32_t>(block[2]) | static_cast<uint32_t>(block[3]) << 8);
}

// An OOB block may declare fewer payload bytes than its fields need, and may sit at the
// very end of the file: a field that does not lie wholly inside the data reads as 0.
uint32_t oob_field(const uint8_t* block, uint64_t left, uint32_t field_offset) {
    if (static_cast<uint64_t>(field_offset) + 4 > left) return 0;
    const uint8_t* f = block + field_offset;
    return static_cast<uint32_t>(f[0]) | static_cast<uint32_t>(f[1]) << 8 | static_cast<uint32_t>(f[2]) << 16 |
           static_cast<uint32_t>(f[3]) << 24;
}

// What a block walk carries from block to block.
struct BlockWalk {
    uint32_t stream_pos = 0;
    bool seen_eof = false;
    uint32_t end_result = 0;
    uint32_t last_index_pos = 0;
};

// Bytes of the data readable in one piece from some offset on.
struct HeldBytes {
    const uint8_t* bytes;
    uint64_t count;
};

// How many bytes from `from` on, before `end`, are Flux1 blocks (codes above the OOB
// code). They make up nearly all of a capture, so they are counted a word at a time.
size_t flux1_run(const uint8_t* from, const uint8_t* end) {
    constexpr uint64_t kEachByte = 0x0101010101010101;
    constexpr uint64_t kHighBits = kEachByte * 0x80;
    const uint8_t* at = from;
    while (end - at >= 8) {
        uint64_t word;
        std::memcpy(&word, at, sizeof word);
        // Non-zero exactly when some byte of the word is below the lowest Flux1 code.
        if (((word - kEachByte * (kCodeOob + 1)) & ~word & kHighBits) != 0) break;
        at += 8;
    }
    while (at != end && *at > kCodeOob) ++at;
    return static_cast<size_t>(at - from);
}

// Walks the blocks of `size` bytes up to the EOF block with the checks of a single block,
// for the parser and for the judge of a file alike. `at(offset)` gives the bytes held from
// `offset` on, at most up to the end, and at least kBlockLookaheadBytes of them or all up
// to the end; null bytes when they cannot be read. Every run of Flux1 blocks goes to
// on_flux1_run(first block, blocks in the run, stream position of the first), every other
// flux-side block to on_in_band(block, stream position), every Index block to
// on_index(block, bytes left from it), every Info payload to on_info(payload, length).
// Returns the fault of the block the walk stopped at, or kStreamOk.
template <class At, class OnFlux1Run, class InBand, class OnIndex, class OnInfo>
int walk_blocks(uint64_t size, At at, OnFlux1Run on_flux1_run, InBand on_in_band, OnIndex on_index, OnInfo on_info,
                BlockWalk& walk) {
    uint64_t offset = 0;
    while (offset < size && !walk.seen_eof) {
        const HeldBytes held = at(offset);
        // Bytes that cannot be read (a file that shrank under the walk) end it as a cut.
        if (held.bytes == nullptr || held.count < std::min<uint64_t>(kBlockLookaheadBytes, size - offset)) {
            return kStreamTruncated;
        }
        // The flux-side blocks are taken here without any other check, as long as they lie
        // whole in the bytes held.
        const uint8_t* block = held.bytes;
        const uint8_t* const end = held.bytes + held.count;
        uint32_t stream_pos = walk.stream_pos;
        while (block != end) {
            const size_t run = flux1_run(block, end);
            if (run != 0) {
                on_flux1_run(block, run, stream_pos);
                block += run;
                stream_pos += static_cast<uint32_t>(run);
            }
            if (block == end || *block == kCodeOob) break;
            const uint32_t len = kInBandBlockBytes[*block];
            if (len > static_cast<size_t>(end - block)) break;
            on_in_band(block, stream_pos);
            stream_pos += len;
            block += len;
        }
        walk.stream_pos = stream_pos;
        offset += static_cast<uint64_t>(block - held.bytes);
        if (offset == size) break;
        const uint64_t left = size - offset;
        // A block that may reach past the bytes held is read again from its start.
        if (static_cast<uint64_t>(end - block) < std::min<uint64_t>(kBlockLookaheadBytes, left)) continue;
        // What is left here is an OOB block, or a flux-side block cut by the end of the data.
        const uint32_t len = block_bytes(block, left);
        if (left < len) return kStreamTruncated;
        offset += len;
        switch (block[1]) {
        case kOobStreamInfo:
            if (oob_field(block, left, 4) != walk.stream_pos) return kStreamPositionMismatch;
            break;
        case kOobIndex:
            walk.last_index_pos = oob_field(block, left, 4);
            on_index(block, left);
            break;
        case kOobStreamEnd:
            walk.end_result = oob_field(block, left, 8);
            if (walk.end_result == 0 && oob_field(block, left, 4) != walk.stream_pos) return kStreamPositionMismatch;
            break;
        case kOobInfo: on_info(block + kOobHeaderBytes, len - kOobHeaderBytes); break;
        case kOobEof: walk.seen_eof = true; break;
        default: return kStreamUnknownOob;
        }
    }
    return kStreamOk;
}

// The verdict on a block walk that ran to its end without a fault of a single block.
int walk_result(const BlockWalk& walk) {
    if (walk.end_result == 1) return kStreamEndResult1;
    if (walk.end_result == 2) return kStreamEndResult2;
    if (walk.end_result != 0) return kStreamEndResultOther;
    if (!walk.seen_eof) return kStreamNoEof;
    if (walk.last_index_pos != 0 && walk.last_index_pos > walk.stream_pos) return kStreamIndexBeyondEnd;
    return kStreamOk;
}

}  // namespace

QuenStream::~QuenStream() = default;

int QuenStream::decode() {
    int rc = parse_blocks();
    if (rc == kStreamOk) rc = resolve_indexes();
    // The speed figure is always taken with the default clock: the info text is read only below.
    compute_rpm();
    if (rc != kStreamOk) return rc;
    if (const char* text = info_value("sck")) {
        const double clock = std::strtod(text, nullptr);
        // A clock of 0, a negative one or one that is no number would make every time meaningless.
        if (std::isfinite(clock) && clock > 0.0) sck = clock;
    }
    return kStreamOk;
}

int QuenStream::parse_blocks() {
    if (data_len == 0) return kStreamOk;
    // Every byte could be a Flux1 block, and one more entry trails the last interval: the
    // entries are written in that room and the rest is cut off at the end.
    flux.resize(static_cast<size_t>(data_len) + 1);
    FluxItem* out = flux.data();

    uint32_t accumulated_ticks = 0;
    const auto flux1_run = [&](const uint8_t* run, size_t blocks, uint32_t stream_pos) {
        out[0] = FluxItem{accumulated_ticks + run[0], stream_pos};
        accumulated_ticks = 0;
        for (size_t i = 1; i < blocks; ++i) out[i] = FluxItem{run[i], stream_pos + static_cast<uint32_t>(i)};
        out += blocks;
    };
    const auto in_band = [&](const uint8_t* block, uint32_t stream_pos) {
        const uint8_t code = block[0];
        uint32_t ticks = 0;
        if (code < kCodeNop1) {
            ticks = static_cast<uint32_t>(code) << 8 | block[1];
        } else if (code == kCodeFlux3) {
            ticks = static_cast<uint32_t>(block[1]) << 8 | block[2];
        } else {
            if (code == kCodeOvl16) accumulated_ticks += kOverflowTicks;
            return;
        }
        *out++ = FluxItem{accumulated_ticks + ticks, stream_pos};
        accumulated_ticks = 0;
    };
    const auto on_index = [&](const uint8_t* block, uint64_t left) {
        IndexRecord rec{};
        rec.stream_pos = oob_field(block, left, 4);
        rec.sample_counter = oob_field(block, left, 8);
        rec.index_counter = oob_field(block, left, 12);
        index.push_back(rec);
        index_count = static_cast<uint32_t>(index.size());
    };
    const auto on_info = [&](const uint8_t* payload, uint32_t n) { append_info(payload, n); };
    BlockWalk walk;
    const auto at = [&](uint64_t offset) { return HeldBytes{data + offset, data_len - offset}; };
    const int rc = walk_blocks(data_len, at, flux1_run, in_band, on_index, on_info, walk);
    flux_count = static_cast<uint32_t>(out - flux.data());
    if (rc != kStreamOk) {
        flux.resize(flux_count);
        return rc;
    }

    // Ticks after the last transition stay reachable for a pulse that follows it.
    *out = FluxItem{accumulated_ticks, walk.stream_pos};
    flux.resize(static_cast<size_t>(flux_count) + 1);
    return walk_result(walk);
}

void QuenStream::append_info(const uint8_t* payload, uint32_t n) {
    if (n == 0) return;
    if (info_len != 0) info += ", ";
    info.append(reinterpret_cast<const char*>(payload), n);
    while (!info.empty() && info.back() == '\0') info.pop_back();
    info_len = static_cast<uint32_t>(info.size() + 1);
}

const char* QuenStream::info_value(const char* key) {
    if (info_len == 0) return nullptr;
    // The text ends at its first NUL, whatever a payload carried behind it.
    const char* text = info.c_str();
    const char* hit = std::strstr(text, key);
    if (hit == nullptr) return nullptr;
    // Only the first occurrence is judged: a key inside a longer one hides a later match.
    const char* after = hit + std::strlen(key);
    if (*after != '=') return nullptr;
    if (hit != text && hit[-1] != ' ') return nullptr;
    const char* value = after + 1;
    size_t n = std::strcspn(value, ",");
    if (n > sizeof value_buf_ - 1) n = sizeof value_buf_ - 1;
    std::memcpy(value_buf_, value, n);
    value_buf_[n] = '\0';
    return value_buf_;
}

CaptureLoad load_stream_file(const std::string& name, FILE* err) {
    FileBytes file;
    if (const int why = read_whole_file(name, file); why != 0) return unreadable_capture(name, why, err);
    return load_stream_bytes(file.bytes.get(), file.length, name, err);
}

CaptureLoad unreadable_capture(const std::string& name, int why, FILE* err) {
    std::fprintf(err, "Could not open file %s\n", shown_name(name).c_str());
    CaptureLoad failed;
    failed.fault = CaptureLoad::Fault::Unreadable;
    failed.system_error = why;
    return failed;
}

CaptureLoad load_stream_bytes(const uint8_t* bytes, size_t length, const std::string& name, FILE* err) {
    auto stream = std::make_unique<QuenStream>();
    // Stream positions are 32-bit: longer data cannot be described.
    int rc = kStreamTruncated;
    if (length <= std::numeric_limits<uint32_t>::max()) {
        stream->data = bytes;
        stream->data_len = static_cast<uint32_t>(length);
        rc = stream->decode();
        stream->data = nullptr;
    }
    CaptureLoad load;
    if (rc != kStreamOk) {
        std::fprintf(err, "Error decoding stream file %s\n", shown_name(name).c_str());
        load.fault = CaptureLoad::Fault::Undecodable;
        load.intervals_before_error = stream->flux_count;
        load.stream_error = rc;
        return load;
    }
    load.capture = std::move(stream);
    return load;
}

namespace {

// A file read through one small buffer, so that a file of any length is walked in bounded
// memory.
class FileWindow {
public:
    FileWindow(int fd, uint64_t size) : fd_(fd), size_(size), buf_(kBufferBytes) {}

    // The bytes held from `offset` on, at least kBlockLookaheadBytes of them or up to the end
    // of the file; null bytes when the file cannot be read (or shrank under us).
    HeldBytes at(uint64_t offset) {
        const uint64_t need = std::min<uint64_t>(kBlockLookaheadBytes, size_ - offset);
        if (offset < base_ || offset + need > base_ + filled_) {
            base_ = offset;
            filled_ = 0;
            const uint64_t want = std::min<uint64_t>(buf_.size(), size_ - offset);
            while (filled_ < want) {
                const ssize_t n = pread(fd_, buf_.data() + filled_, want - filled_, static_cast<off_t>(base_ + filled_));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                filled_ += static_cast<uint64_t>(n);
            }
            if (filled_ < need) return HeldBytes{nullptr, 0};
        }
        return HeldBytes{buf_.data() + (offset - base_), filled_ - (offset - base_)};
    }

private:
    static constexpr size_t kBufferBytes = 64 * 1024;
    int fd_;
    uint64_t size_;
    std::vector<uint8_t> buf_;
    uint64_t base_ = 0;
    uint64_t filled_ = 0;
};

}  // namespace

bool file_holds_indexed_stream(const std::string& name) {
    const int fd = open_regular_file(name);
    if (fd < 0) return false;
    OwnedFd closer{fd};
    struct stat st {};
    if (fstat(fd, &st) != 0) return false;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    FileWindow window(fd, size);

    uint64_t index_blocks = 0;
    const auto ignored = [](const uint8_t*, auto...) {};
    BlockWalk walk;
    const auto at = [&](uint64_t offset) { return window.at(offset); };
    const auto on_index = [&](const uint8_t*, uint64_t) { ++index_blocks; };
    const int rc = walk_blocks(size, at, ignored, ignored, on_index, ignored, walk);
    return rc == kStreamOk && index_blocks > 0 && walk_result(walk) == kStreamOk;
}

}  // namespace quen
