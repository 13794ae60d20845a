#include "stream/capture.h"

namespace quen {

FluxCapture::~FluxCapture() = default;

void FluxCapture::compute_rpm() {
    rpm_avg = 0.0;
    if (index_count < 2 || index.size() < index_count) return;
    const uint32_t revolutions = index_count - 1;
    // Summed wide: a long capture must not wrap into a wrong speed.
    uint64_t total_ticks = 0;
    for (uint32_t r = 1; r <= revolutions; ++r) total_ticks += index[r].rev_time;
    // Index pulses without any flux leave no time to divide by.
    if (total_ticks == 0) return;
    rpm_avg = static_cast<double>(revolutions) * 60.0 * sck / static_cast<double>(total_ticks);
}

}  // namespace quen
