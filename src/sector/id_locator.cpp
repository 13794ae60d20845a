#include "sector/id_locator.h"

#include <algorithm>
#include <cstdint>

#include "decode/flux_reader.h"
#include "decode/marks.h"

namespace quen {
namespace {

const FluxTexts kLocatorTexts = {
    "  ** No Flux Transition Area %d ns @%d ms Byte=%04x clk=%d\n",
    "  ** border_bits=%d ns @%d ms Byte=%04x clk=%d\n",
    "  ** MFM violation: Short spacing %d ns @%d ms Byte=%04x clk=%d\n",
    "  ** MFM violation: Long spacing %d ns @%d ms Byte=%04x clk=%d\n",
    "  ** Short Synch sequence only %d found @%d Byte %04x)\n",
};

constexpr const char* kSkippedMarkLine = "  ** Skipped invalid AM $%02x byte after 3 Synch mark @%d\n";

struct Locator {
    Locator(IdLayout& layout, ByteBuffer& buffer, SeparatorRun& run, const RunOptions& opts)
        : layout(layout), buffer(buffer), reader(run, DiagSink::of(opts), kLocatorTexts) {}

    // Faults go to the entry of the ID field being looked for.
    AreaInfo& current() { return layout.ids[layout.id_count]; }

    // The interval last read, its cells already in the register.
    void interval() {
        reader.check_interval(current(), layout.byte_count);
        while (reader.shifter.count >= 16) byte_step();
    }

    void byte_step() {
        ++layout.byte_count;
        const uint32_t time_us = reader.total_ns / 1000;
        reader.check_clock(current(), time_us, layout.byte_count);
        const TakenByte taken = reader.take_byte(!in_id, current(), time_us, layout.byte_count);
        reader.check_short_run(taken, current(), time_us, layout.byte_count);

        const uint8_t b = reader.data();
        if (in_id) {
            field_byte();
        } else if (reader.sync_count >= marks::kSynchRunForMark && !taken.sync) {
            address_mark(b, time_us);
        }
        reader.finish_byte();
        layout.byte_start_ns = reader.byte_start_ns;
    }

    void field_byte() {
        --countdown;
        if (countdown != 0) {
            buffer.append(reader.decoded());
            return;
        }
        // The byte behind the second CRC byte completes the field; it is not part of it.
        AreaInfo& id = current();
        id.crc = reader.crc;
        id.bytes = static_cast<uint16_t>(layout.byte_count - id_start_byte);
        id.length_ns = reader.byte_start_ns - id.position_ns;
        ++layout.id_count;
        in_id = false;
    }

    void address_mark(uint8_t b, uint32_t time_us) {
        reader.end_sync_run();
        if (!marks::is_id_mark(b)) {
            reader.say(kSkippedMarkLine, unsigned{b}, static_cast<int>(time_us));
            return;
        }
        // id_count is 8-bit: a field beyond the table's last entry is passed over.
        if (layout.id_count >= IdLayout::kMaxIds) return;
        current().position_ns = reader.byte_start_ns;
        countdown = marks::kIdFieldBytes;
        id_start_byte = layout.byte_count;
        in_id = true;
        buffer.append(reader.decoded());
    }

    // The flux data ended inside an ID field: the field is dropped whole, so the
    // buffer keeps seven entries for each field counted.
    void drop_partial_field() {
        buffer.count = static_cast<uint16_t>(marks::kIdFieldBytes * layout.id_count);
        current().position_ns = 0;
        in_id = false;
    }

    IdLayout& layout;
    ByteBuffer& buffer;
    FluxReader reader;
    bool in_id = false;
    uint16_t countdown = 0;
    uint16_t id_start_byte = 0;
};

}  // namespace

uint8_t locate_ids(SeparatorRun& run, IdLayout& layout, ByteBuffer& id_buffer, const RunOptions& opts) {
    uint32_t intervals_left = run.revolution_intervals();
    layout = IdLayout{};
    id_buffer.clear();

    Locator loc(layout, id_buffer, run, opts);
    // The revolution is read whole; an ID field that runs over the index is read to its end.
    while (intervals_left != 0 || loc.in_id) {
        // Behind the index only a byte can end the field, and a reading stops at each byte.
        const uint32_t limit = intervals_left != 0 ? intervals_left : FluxReader::kNoLimit;
        const uint32_t read = loc.reader.read_intervals(limit);
        if (read == 0) {
            if (loc.in_id) loc.drop_partial_field();
            break;
        }
        intervals_left -= std::min(read, intervals_left);
        loc.interval();
        layout.total_ns = loc.reader.total_ns;
    }
    return layout.id_count;
}

}  // namespace quen
