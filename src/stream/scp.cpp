#include "stream/scp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <limits>
#include <string>
#include <vector>

namespace quen {
namespace {

constexpr size_t kHeaderBytes = 0x10;
constexpr uint32_t kTableSlots = 2 * kScpCylinders;
constexpr uint32_t kTrackHeaderBytes = 4;
constexpr uint32_t kRevolutionEntryBytes = 12;
constexpr uint64_t kWordSpan = 65536;  // what a word of 0 adds, in word units

constexpr uint8_t kFlagIndexCued = 0x01;
constexpr uint8_t kFlagNormalised = 0x08;
constexpr uint8_t kFlagExtended = 0x40;
// Single-head images of this disk type keep half-tracks in the odd slots.
constexpr uint8_t kDiskTypeHalfTracks = 0x00;

// A revolution's flux and its index time may disagree by a flux cell or two; by more
// than this the revolution is damaged.
constexpr uint64_t kDamagedRevolutionTicks = 40000;  // 1 ms

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

// What makes the image unreadable, as the one line the user sees.
struct ScpFault {
    std::string text;
};

struct Revolution {
    uint32_t number;       // as declared in the track header, from 0
    uint64_t index_ticks;  // 25 ns ticks from this revolution's pulse to the next
    uint64_t first_byte;   // of its flux words in the image
    uint32_t words;
};

class ScpReader {
public:
    ScpReader(const uint8_t* bytes, size_t length, TrackSide wanted)
        : b_(bytes), length_(length), wanted_(wanted) {}

    std::unique_ptr<FluxCapture> read() {
        check_header();
        const uint32_t slot = find_slot();
        const std::vector<Revolution> revs = read_track_header(slot);
        auto capture = std::make_unique<FluxCapture>(kScpSampleClock);
        build(revs, *capture);
        capture->info = format("scp version=%u.%u, disk type=0x%02X, flags=0x%02X, resolution=%u ns", b_[3] >> 4,
                               b_[3] & 0x0F, b_[4], flags_, 25u * ticks_per_unit_);
        capture->compute_rpm();
        if ((flags_ & kFlagIndexCued) == 0) {
            warn("not cued to the index: revolutions start anywhere, sector positions are not from the index");
        }
        if ((flags_ & kFlagNormalised) != 0) warn("flux times were normalised: timing faults may be hidden");
        return capture;
    }

    const std::vector<std::string>& warnings() const { return warnings_; }

    std::vector<TrackSide> sides() {
        check_header();
        read_table();
        std::vector<TrackSide> present;
        for (uint8_t cylinder = 0; cylinder < kScpCylinders; ++cylinder) {
            for (uint8_t side = 0; side < 2; ++side) {
                const uint32_t slot = slot_of({cylinder, side});
                if (slot < table_slots_ && table_[slot] != 0) present.push_back({cylinder, side});
            }
        }
        return present;
    }

private:
    [[noreturn]] void fail(std::string text) { throw ScpFault{std::move(text)}; }
    std::string track_name() const { return format("track %u.%u", wanted_.cylinder, wanted_.side); }
    void warn(std::string text) { warnings_.push_back(std::move(text)); }

    void check_header() {
        if (length_ < kHeaderBytes) fail(format("shorter than its %zu-byte header", kHeaderBytes));
        if (!has_scp_signature(b_, length_)) fail("no SCP signature");
        // File offsets are 32-bit: a longer file cannot be described.
        if (length_ > std::numeric_limits<uint32_t>::max()) fail("longer than 4 GB");
        revolutions_ = b_[5];
        flags_ = b_[8];
        heads_ = b_[0x0A];
        ticks_per_unit_ = b_[0x0B] + 1u;
        if (b_[9] != 0 && b_[9] != 16) fail(format("flux words of %u bits (only 16-bit words are read)", b_[9]));
        if ((flags_ & kFlagExtended) != 0) fail("extended mode (a tape or hard drive image), not a floppy image");
        if (revolutions_ == 0) fail("no revolution per track (revolutions byte 0)");
        if (heads_ > 2) fail(format("heads byte %u (0, 1 or 2 expected)", heads_));
        const uint32_t stated = le32(b_ + 0x0C);
        // A checksum of 0 is no checksum: rewritable images and some writers leave it so.
        if (stated != 0) {
            uint32_t sum = 0;
            for (size_t i = kHeaderBytes; i < length_; ++i) sum += b_[i];
            if (sum != stated) {
                fail(format("checksum 0x%08X, but the bytes sum to 0x%08X: damaged or cut", stated, sum));
            }
        }
    }

    // The table slot of the wanted track side, its track header checked to fit the file.
    uint32_t find_slot() {
        read_table();
        const uint32_t slot = slot_of(wanted_);
        if (slot >= table_slots_ || table_[slot] == 0) fail(track_name() + " is not in the image");
        uint32_t sharing = 0;
        for (uint32_t i = 0; i < table_slots_; ++i) sharing += i != slot && table_[i] == table_[slot];
        if (sharing != 0) {
            warn(format("%s: its track header is named by %u other table entries", track_name().c_str(), sharing));
        }
        return slot;
    }

    // Reads the table and checks that every track header it names fits the file.
    void read_table() {
        // The table ends where the first track header begins: images of older revisions
        // have a shorter table, and their track headers must not be taken for offsets.
        uint64_t first_header = length_;
        uint32_t read = 0;
        for (; read < kTableSlots; ++read) {
            const uint64_t at = kHeaderBytes + 4u * uint64_t{read};
            if (at + 4 > first_header) break;
            table_[read] = le32(b_ + at);
            if (table_[read] != 0) first_header = std::min<uint64_t>(first_header, table_[read]);
        }
        table_slots_ = read;
        const uint64_t table_end = kHeaderBytes + 4u * uint64_t{read};
        const uint64_t header_bytes = kTrackHeaderBytes + kRevolutionEntryBytes * uint64_t{revolutions_};
        for (uint32_t i = 0; i < read; ++i) {
            if (table_[i] == 0) continue;
            if (table_[i] < table_end) {
                fail(format("table entry %u points into the header or the table (0x%X)", i, table_[i]));
            }
            if (table_[i] + header_bytes > length_) {
                fail(format("table entry %u: the track header at 0x%X runs past the end of the file", i, table_[i]));
            }
            (i % 2 == 0 ? even_ : odd_) = true;
        }
    }

    // The table slot of a track side; kTableSlots when the image cannot hold it.
    uint32_t slot_of(TrackSide t) {
        if (heads_ == 0) return t.cylinder * 2u + t.side;
        // A single-head image fills every other slot; an older layout fills them all,
        // one cylinder per slot, with the head the heads byte names.
        const uint8_t only_side = heads_ == 1 ? 0 : 1;
        if (!(even_ && odd_)) return t.side == only_side ? t.cylinder * 2u + t.side : kTableSlots;
        if (b_[4] == kDiskTypeHalfTracks) fail("a single-head image with half-tracks (disk type 0x00) is not read");
        return t.side == only_side ? t.cylinder : kTableSlots;
    }

    std::vector<Revolution> read_track_header(uint32_t slot) {
        const uint64_t at = table_[slot];
        const uint8_t* h = b_ + at;
        if (h[0] != 'T' || h[1] != 'R' || h[2] != 'K') {
            fail(format("%s: no track header at 0x%llX", track_name().c_str(), static_cast<unsigned long long>(at)));
        }
        if (h[3] != slot) fail(format("%s: the track header at 0x%llX is for table entry %u, not %u",
                                      track_name().c_str(), static_cast<unsigned long long>(at), h[3], slot));
        const uint64_t header_bytes = kTrackHeaderBytes + kRevolutionEntryBytes * uint64_t{revolutions_};
        std::vector<Revolution> revs;
        uint64_t words = 0;
        for (uint32_t r = 0; r < revolutions_; ++r) {
            const uint8_t* e = h + kTrackHeaderBytes + kRevolutionEntryBytes * r;
            const uint32_t count = le32(e + 4);
            // A declared revolution without words was not stored.
            if (count == 0) continue;
            const uint32_t offset = le32(e + 8);
            if (offset < header_bytes) {
                fail(format("%s revolution %u: its flux words at offset %u lie in its track header",
                            track_name().c_str(), r + 1, offset));
            }
            const uint64_t first = at + offset;
            if (first + 2 * uint64_t{count} > length_) {
                fail(format("%s revolution %u: %u flux words at 0x%llX run past the end of the file",
                            track_name().c_str(), r + 1, count, static_cast<unsigned long long>(first)));
            }
            words += count;
            revs.push_back({r, le32(e), first, count});
        }
        // Overlapping revolutions could otherwise make a small file fill memory many times over.
        if (words > length_ / 2) {
            fail(format("%s: its revolutions hold more flux words than the file", track_name().c_str()));
        }
        std::vector<Revolution> by_place = revs;
        std::sort(by_place.begin(), by_place.end(),
                  [](const Revolution& a, const Revolution& b) { return a.first_byte < b.first_byte; });
        for (size_t i = 1; i < by_place.size(); ++i) {
            const Revolution& a = by_place[i - 1];
            if (a.first_byte + 2 * uint64_t{a.words} > by_place[i].first_byte) {
                warn(format("%s: the flux words of revolutions %u and %u overlap", track_name().c_str(), a.number + 1,
                            by_place[i].number + 1));
            }
        }
        if (revs.empty()) {
            warn(format("%s holds no revolution", track_name().c_str()));
        } else if (revs.size() < revolutions_) {
            warn(format("%s: %zu of %u revolutions stored", track_name().c_str(), revs.size(), revolutions_));
        }
        return revs;
    }

    // The intervals of one revolution in 25 ns ticks, overflow chains joined.
    std::vector<uint64_t> intervals_of(const Revolution& rev) {
        std::vector<uint64_t> out;
        out.reserve(rev.words);
        uint64_t chain = 0;
        const uint8_t* w = b_ + rev.first_byte;
        for (uint32_t i = 0; i < rev.words; ++i, w += 2) {
            const uint32_t word = static_cast<uint32_t>(w[0]) << 8 | w[1];
            if (word == 0) {
                chain += kWordSpan;
                continue;
            }
            out.push_back((chain + word) * ticks_per_unit_);
            chain = 0;
        }
        if (chain != 0) {
            warn(format("%s revolution %u: an overflow chain without an end, %llu ticks dropped", track_name().c_str(),
                        rev.number + 1, static_cast<unsigned long long>(chain * ticks_per_unit_)));
        }
        return out;
    }

    // Joins the revolutions into one flux sequence with the pulses inside it. Revolution
    // r + 1 starts one index time after revolution r: the time after r's last transition
    // goes into r + 1's first interval, and the pulse falls that far into it. When the
    // flux fills the index time or more, the pulse is put at the start of the next
    // revolution's first interval.
    void build(const std::vector<Revolution>& revs, FluxCapture& c) {
        std::vector<std::vector<uint64_t>> intervals;
        uint64_t flux_ticks = 0;
        uint64_t index_ticks = 0;
        for (const Revolution& rev : revs) {
            intervals.push_back(intervals_of(rev));
            for (uint64_t v : intervals.back()) flux_ticks += v;
            index_ticks += rev.index_ticks;
        }
        // Whether the index times count 25 ns or flux-word units is not stated for a coarser
        // resolution: the one that agrees with the flux is taken.
        uint64_t index_scale = 1;
        if (ticks_per_unit_ != 1) {
            const auto distance = [&](uint64_t t) { return t > flux_ticks ? t - flux_ticks : flux_ticks - t; };
            if (distance(index_ticks * ticks_per_unit_) < distance(index_ticks)) index_scale = ticks_per_unit_;
        }

        size_t total = 0;
        for (const auto& v : intervals) total += v.size();
        c.flux.reserve(total + 1);
        c.index.reserve(revs.size() + 1);
        uint64_t carried = 0;    // ticks after the last transition, owed to the next interval
        uint64_t position = 0;   // ticks from the first pulse to the end of the last interval
        uint64_t last_pulse = 0;
        uint32_t number = 0;  // of the next interval in the track side
        const auto too_long = [&]() { fail(format("%s: a revolution longer than 2^32 ticks", track_name().c_str())); };
        const auto pulse = [&]() {
            const uint64_t at = position + carried;
            const uint64_t since = at - last_pulse;
            constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
            if (since > kMax || carried > kMax) too_long();
            IndexRecord rec{};
            rec.stream_pos = number;
            rec.flux_index = static_cast<uint32_t>(c.flux.size());
            rec.pre_index = static_cast<uint32_t>(carried);
            rec.rev_time = c.index.empty() ? 0 : static_cast<uint32_t>(since);
            c.index.push_back(rec);
            last_pulse = at;
        };
        for (size_t r = 0; r < revs.size(); ++r) {
            pulse();
            uint64_t sum = 0;
            for (uint64_t v : intervals[r]) {
                sum += v;
                const uint64_t value = v + carried;
                if (value > std::numeric_limits<uint32_t>::max()) {
                    fail(format("%s revolution %u: a flux interval longer than 2^32 ticks", track_name().c_str(),
                                revs[r].number + 1));
                }
                position += value;
                carried = 0;
                c.flux.push_back({static_cast<uint32_t>(value), number++});
            }
            const uint64_t index_time = revs[r].index_ticks * index_scale;
            if (index_time > sum) carried += index_time - sum;
            if (revs[r].index_ticks == 0) {
                warn(format("%s revolution %u: no index time", track_name().c_str(), revs[r].number + 1));
            } else if ((index_time > sum ? index_time - sum : sum - index_time) > kDamagedRevolutionTicks) {
                warn(format("%s revolution %u: damaged, its flux lasts %.3f ms and its index time %.3f ms",
                            track_name().c_str(), revs[r].number + 1, static_cast<double>(sum) / 40000.0,
                            static_cast<double>(index_time) / 40000.0));
            }
        }
        c.flux_count = static_cast<uint32_t>(c.flux.size());
        // The pulse that closes the last revolution comes after all flux.
        if (!revs.empty()) {
            pulse();
            c.flux.push_back({static_cast<uint32_t>(carried), number});
        }
        for (IndexRecord& rec : c.index) rec.post_index = c.flux[rec.flux_index].value - rec.pre_index;
        c.index_count = static_cast<uint32_t>(c.index.size());
    }

    const uint8_t* b_;
    size_t length_;
    TrackSide wanted_;
    uint32_t revolutions_ = 0;
    uint8_t flags_ = 0;
    uint8_t heads_ = 0;
    uint32_t ticks_per_unit_ = 1;
    uint32_t table_[kTableSlots] = {};
    uint32_t table_slots_ = 0;  // entries before the first track header
    bool even_ = false;         // some even entry names a track header
    bool odd_ = false;
    std::vector<std::string> warnings_;
};

}  // namespace

std::optional<TrackSide> parse_track_side(const std::string& text) {
    const size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot > 2 || text.size() != dot + 2) return std::nullopt;
    unsigned cylinder = 0;
    for (size_t i = 0; i < dot; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        cylinder = cylinder * 10 + static_cast<unsigned>(text[i] - '0');
    }
    const char side = text[dot + 1];
    if (cylinder >= kScpCylinders || (side != '0' && side != '1')) return std::nullopt;
    return TrackSide{static_cast<uint8_t>(cylinder), static_cast<uint8_t>(side - '0')};
}

bool has_scp_signature(const uint8_t* bytes, size_t length) {
    return length >= 3 && bytes[0] == 'S' && bytes[1] == 'C' && bytes[2] == 'P';
}

bool file_holds_scp_image(const std::string& name) {
    // Non-blocking, so that a FIFO's name cannot stall the run; it is then left alone as no file.
    const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    uint8_t head[3] = {};
    ssize_t n = -1;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        do {
            n = pread(fd, head, sizeof head, 0);
        } while (n < 0 && errno == EINTR);
    }
    close(fd);
    return n == static_cast<ssize_t>(sizeof head) && has_scp_signature(head, sizeof head);
}

std::vector<TrackSide> scp_track_sides(const uint8_t* bytes, size_t length, std::string& fault) {
    ScpReader reader(bytes, length, {0, 0});
    try {
        fault.clear();
        return reader.sides();
    } catch (const ScpFault& f) {
        fault = f.text;
        return {};
    }
}

std::unique_ptr<FluxCapture> read_scp_track(const uint8_t* bytes, size_t length, const std::string& name,
                                            TrackSide wanted, FILE* err) {
    ScpReader reader(bytes, length, wanted);
    try {
        auto capture = reader.read();
        for (const std::string& w : reader.warnings()) {
            std::fprintf(err, "SCP file '%s': %s\n", name.c_str(), w.c_str());
        }
        return capture;
    } catch (const ScpFault& fault) {
        std::fprintf(err, "SCP file '%s': %s\n", name.c_str(), fault.text.c_str());
        return nullptr;
    }
}

}  // namespace quen
