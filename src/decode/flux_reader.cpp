#include "decode/flux_reader.h"

#include <cstdarg>

#include "decode/marks.h"

namespace quen {
namespace {

constexpr const char* kOverClockedLine = "  ** Over clocked byte @ %d ms Byte=%04x clk=%d\n";
constexpr const char* kUnderClockedLine = "  ** Under clocked byte @ %d ms Byte=%04x clk=%d\n";
constexpr const char* kBadSyncLine = "  ** Bad Synch Byte sequence: %02x followed by %02x @%d Byte=%04x\n";
constexpr const char* kSyncByteLine = "  ++ $%02x Synch Byte %s @%d Byte=%04x\n";
constexpr const char* kLongSyncLine = "  ++ Long synch seq (%d) of $%02x Synch Byte @%d Byte=%04x\n";

// The lines about a byte name the byte before it.
unsigned previous(uint16_t byte_count) { return static_cast<uint16_t>(byte_count - 1u); }

}  // namespace

void FluxReader::say(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    diag.vsay(fmt, args);
    va_end(args);
}

IntervalFault FluxReader::count_faults(AreaInfo& area, uint16_t byte_count) {
    const int time_us = static_cast<int>(total_ns / 1000);
    if (classes & kIntervalNoFlux) {
        say(texts->no_flux, interval_ns, time_us, unsigned{byte_count}, int{clk});
        return IntervalFault::kNoFlux;
    }
    IntervalFault fault = IntervalFault::kNone;
    if (classes & kIntervalBorder) {
        ++area.BRD;
        fault = IntervalFault::kTiming;
        say(texts->border, interval_ns, time_us, unsigned{byte_count}, int{clk});
    }
    if (classes & (kIntervalShort | kIntervalLong)) {
        ++area.TMV;
        fault = IntervalFault::kTiming;
        say((classes & kIntervalShort) ? texts->short_spacing : texts->long_spacing, interval_ns, time_us,
            unsigned{byte_count}, int{clk});
    }
    return fault;
}

void FluxReader::count_clock(AreaInfo& area, uint32_t time_us, uint16_t byte_count) {
    if (clk > kOverClockedNs) {
        ++area.over_clocked;
        say(kOverClockedLine, static_cast<int>(time_us), unsigned{byte_count}, int{clk});
    } else if (clk < kUnderClockedNs) {
        ++area.under_clocked;
        say(kUnderClockedLine, static_cast<int>(time_us), unsigned{byte_count}, int{clk});
    }
}

TakenByte FluxReader::take_searched_byte(AreaInfo& area, uint32_t time_us, uint16_t byte_count) {
    TakenByte taken;
    const SyncSearch found = search_sync(shifter);
    shifter.synced = found.found ? 1 : 0;
    shifter.sync_pos = found.pos;
    shifter.next_byte();
    if (!found.found) return taken;

    taken.sync = true;
    const uint8_t b = shifter.data;
    const int t = static_cast<int>(time_us);
    ++sync_count;
    if (sync_count > 1 && b != last_sync) {
        ++area.BS;
        taken.synch_fault = true;
        say(kBadSyncLine, unsigned{last_sync}, unsigned{b}, t, previous(byte_count));
        sync_count = 1;
    }
    if (sync_count == 1 && b == marks::kCrcSynch) crc = 0xFFFF;
    say(kSyncByteLine, unsigned{b}, (found.pos & 1) ? "advance by half-bit " : "", t, previous(byte_count));
    if (sync_count > 3) {
        say(kLongSyncLine, int{sync_count}, unsigned{b}, t, previous(byte_count));
        if (sync_count == 4) {
            ++area.BS;
            taken.synch_fault = true;
            taken.long_run = true;
        }
    }
    last_sync = b;
    return taken;
}

void FluxReader::end_short_run(AreaInfo& area, uint32_t time_us, uint16_t byte_count) {
    say(texts->short_run, int{sync_count}, static_cast<int>(time_us), previous(byte_count));
    ++area.BS;
    sync_count = 0;
}

}  // namespace quen
