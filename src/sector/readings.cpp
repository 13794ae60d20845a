#include "sector/readings.h"

#include <algorithm>

#include "decode/marks.h"

namespace quen {

void SectorReadings::add(uint8_t revolution, const SectorLayout& layout, const ByteBuffer& buffer) {
    if (layout.has_data == 0) return;
    const AreaInfo& data = layout.area(AreaKind::DATA);
    const uint32_t size = sector_size(layout.Z);
    // A field cut short by the end of the stream never had its CRC checked.
    const bool whole = data.bytes >= size + marks::kDataFieldExtraBytes;
    const uint32_t first = layout.data_start + 1u;
    const uint32_t end = std::min<uint32_t>({first + size, layout.data_start + uint32_t{data.bytes}, buffer.count});
    if (data_mark == 0 && layout.data_start < buffer.count) data_mark = buffer.entries[layout.data_start].data;
    DataReading r;
    r.crc_ok = whole && data.crc == 0 && layout.area(AreaKind::ID).crc == 0;
    for (uint32_t i = first; i < end; ++i) r.bytes.push_back(buffer.entries[i].data);

    auto same = std::find_if(distinct.begin(), distinct.end(), [&](const DataReading& d) {
        return d.crc_ok == r.crc_ok && d.bytes == r.bytes;
    });
    if (same != distinct.end()) {
        ++same->revolutions;
    } else if (distinct.size() < kMaxReadingsPerSector) {
        r.revolutions = 1;
        r.first_revolution = revolution;
        distinct.push_back(std::move(r));
    } else {
        ++dropped;
    }
}

}  // namespace quen
