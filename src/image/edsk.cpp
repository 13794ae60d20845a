#include <algorithm>
#include <cstring>
#include <map>

#include "image/writers.h"

namespace quen::image {
namespace {

constexpr char kDiskSignature[] = "EXTENDED CPC DSK File\r\nDisk-Info\r\n";
constexpr char kTrackSignature[] = "Track-Info\r\n";
constexpr char kCreator[] = "QuenAnalyze";
constexpr uint32_t kInfoBytes = 256;
constexpr uint32_t kMaxBlockBytes = 255 * 256;
constexpr uint32_t kEntriesStart = 0x18;
constexpr uint32_t kEntryBytes = 8;
constexpr uint8_t kFormatGap = 0x4E;
constexpr uint8_t kFiller = 0xE5;

// The result bytes a controller returns for the sector.
constexpr uint8_t kSt1DataError = 0x20;
constexpr uint8_t kSt1MissingMark = 0x01;
constexpr uint8_t kSt2ControlMark = 0x40;
constexpr uint8_t kSt2DataCrc = 0x20;
constexpr uint8_t kSt2MissingMark = 0x01;

struct Entry {
    const Sector* sector = nullptr;
    uint8_t st1 = 0;
    uint8_t st2 = 0;
    std::vector<const DataReading*> copies;
    uint32_t copy_bytes = 0;  // stored of each copy
    uint32_t stored() const { return copy_bytes * static_cast<uint32_t>(copies.size()); }
};

struct Block {
    const TrackSide* side = nullptr;
    std::vector<Entry> entries;
    uint32_t header_bytes = kInfoBytes;
    uint32_t bytes() const {
        uint32_t n = header_bytes;
        for (const Entry& e : entries) n += e.stored();
        return (n + 255) / 256 * 256;
    }
};

Entry entry_for(const Sector& s) {
    Entry e;
    e.sector = &s;
    const SectorState state = s.state();
    const uint8_t cm = s.deleted() ? kSt2ControlMark : 0;
    switch (state) {
    case SectorState::kGood: e.st2 = cm; break;
    case SectorState::kDataError:
    case SectorState::kWeak:
        e.st1 = kSt1DataError;
        e.st2 = kSt2DataCrc | cm;
        break;
    case SectorState::kIdError:
        e.st1 = kSt1DataError;
        e.st2 = cm;
        break;
    case SectorState::kNoData:
        e.st1 = kSt1MissingMark;
        e.st2 = kSt2MissingMark;
        return e;
    }
    const uint32_t nominal = nominal_bytes(s.size_code);
    if (state == SectorState::kWeak) {
        for (const DataReading& r : s.readings.distinct) e.copies.push_back(&r);
    }
    // Copies follow one another at whole nominal sizes: a reading shorter than that is
    // kept alone, as far as it was read.
    const bool whole = std::all_of(e.copies.begin(), e.copies.end(),
                                   [&](const DataReading* r) { return r->bytes.size() >= nominal; });
    if (e.copies.empty() || !whole) e.copies = {s.best()};
    if (e.copies.front() == nullptr) {
        e.copies.clear();
        return e;
    }
    e.copy_bytes = std::min<uint32_t>(nominal, static_cast<uint32_t>(e.copies.front()->bytes.size()));
    return e;
}

// A track block holds at most 65280 bytes: weak copies go first, then the last sectors' data.
std::string fit_block(Block& b) {
    uint32_t copies_left_out = 0;
    uint32_t bytes_left_out = 0;
    while (b.bytes() > kMaxBlockBytes) {
        auto most = std::max_element(b.entries.begin(), b.entries.end(),
                                     [](const Entry& x, const Entry& y) { return x.copies.size() < y.copies.size(); });
        if (most != b.entries.end() && most->copies.size() > 1) {
            most->copies.pop_back();
            ++copies_left_out;
            continue;
        }
        const uint32_t over = b.bytes() - kMaxBlockBytes;
        for (auto e = b.entries.rbegin(); e != b.entries.rend(); ++e) {
            if (e->copy_bytes == 0) continue;
            const uint32_t cut = std::min(over, e->copy_bytes);
            e->copy_bytes -= cut;
            bytes_left_out += cut;
            break;
        }
    }
    if (copies_left_out == 0 && bytes_left_out == 0) return "";
    return "EDSK: track side " + side_name(*b.side) + " exceeds the format's " + std::to_string(kMaxBlockBytes) +
           "-byte track: " + std::to_string(copies_left_out) + " weak copies and " + std::to_string(bytes_left_out) +
           " data bytes left out";
}

uint8_t common_size_code(const TrackSide& t) {
    std::map<uint8_t, int> counts;
    for (const Sector& s : t.sectors) ++counts[s.size_code];
    return std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
}

uint8_t rate_code(uint32_t kbps) {
    if (kbps == 0) return 0;
    return kbps >= 500 ? 2 : 1;
}

void put_u16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = static_cast<uint8_t>(x & 0xFF);
    v[at + 1] = static_cast<uint8_t>((x >> 8) & 0xFF);
}

void write_block(FILE* out, const Block& b) {
    const TrackSide& t = *b.side;
    std::vector<uint8_t> v(b.header_bytes, 0);
    std::memcpy(v.data(), kTrackSignature, sizeof kTrackSignature - 1);
    v[0x10] = static_cast<uint8_t>(t.cylinder);
    v[0x11] = static_cast<uint8_t>(t.head);
    v[0x12] = rate_code(t.rate_kbps);
    v[0x13] = 2;  // MFM
    v[0x14] = common_size_code(t);
    v[0x15] = static_cast<uint8_t>(b.entries.size());
    v[0x16] = kFormatGap;
    v[0x17] = kFiller;
    size_t at = kEntriesStart;
    for (const Entry& e : b.entries) {
        const Sector& s = *e.sector;
        v[at] = s.cylinder;
        v[at + 1] = s.head;
        v[at + 2] = s.sector;
        v[at + 3] = s.size_code;
        v[at + 4] = e.st1;
        v[at + 5] = e.st2;
        put_u16(v, at + 6, e.stored());
        at += kEntryBytes;
    }
    for (const Entry& e : b.entries) {
        for (const DataReading* r : e.copies) v.insert(v.end(), r->bytes.begin(), r->bytes.begin() + e.copy_bytes);
    }
    v.resize(b.bytes(), 0);
    std::fwrite(v.data(), 1, v.size(), out);
}

}  // namespace

std::vector<std::string> write_edsk(FILE* out, const Disk& disk) {
    std::vector<std::string> warnings;
    const int cylinders = disk.cylinders();
    const int heads = disk.heads();
    std::vector<Block> blocks;  // in file order; unformatted track sides have none
    std::vector<uint8_t> info(kInfoBytes, 0);
    std::memcpy(info.data(), kDiskSignature, sizeof kDiskSignature - 1);
    std::memcpy(info.data() + 0x22, kCreator, sizeof kCreator - 1);
    info[0x30] = static_cast<uint8_t>(cylinders);
    info[0x31] = static_cast<uint8_t>(heads);
    size_t table = 0x34;
    for (int c = 0; c < cylinders; ++c) {
        for (int h = 0; h < heads; ++h, ++table) {
            const TrackSide* t = disk.side(c, h);
            if (t == nullptr || t->sectors.empty()) continue;
            Block b;
            b.side = t;
            for (const Sector& s : t->sectors) {
                b.entries.push_back(entry_for(s));
                if (s.state() == SectorState::kWeak && s.readings.dropped > 0) {
                    warnings.push_back("EDSK: " + sector_name(c, h, s.sector) + " is weak: " +
                                       std::to_string(s.readings.dropped) + " revolutions read it in yet other ways, " +
                                       "beyond the " + std::to_string(kMaxReadingsPerSector) + " copies kept");
                }
            }
            // More sectors than the 29 a plain Track-Info lists: it grows in whole 256-byte steps.
            b.header_bytes = (kEntriesStart + kEntryBytes * static_cast<uint32_t>(b.entries.size()) + 255) / 256 * 256;
            if (std::string w = fit_block(b); !w.empty()) warnings.push_back(std::move(w));
            info[table] = static_cast<uint8_t>(b.bytes() / 256);
            blocks.push_back(std::move(b));
        }
    }
    std::fwrite(info.data(), 1, info.size(), out);
    for (const Block& b : blocks) write_block(out, b);
    return warnings;
}

}  // namespace quen::image
