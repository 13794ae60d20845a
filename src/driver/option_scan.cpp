#include "driver/option_scan.h"

#include <cerrno>
#include <cstdlib>
#include <string>

namespace quen {
namespace {

// The low 8 bits of the decimal number at `s` (leading blanks and one sign allowed, 0
// without digits), defined however many digits follow.
uint8_t parse_revolution(std::string_view s) {
    const std::string text(s);
    errno = 0;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<uint8_t>(v & 0xFF);
}

}  // namespace

OptionScan scan_option_cluster(std::string_view cluster, RunOptions& opts) {
    OptionScan scan;
    for (size_t k = 1; k < cluster.size(); ++k) {
        switch (cluster[k]) {
        case 'b': opts.print_buffers = false; break;
        case 'c': opts.clock_info = true; break;
        case 'f': opts.sector_all_areas = true; break;
        case 'm': opts.simple_decimal = true; break;
        case 'p': opts.pll_off = true; break;
        case 's': opts.look_for_sync = false; break;
        case 't': opts.plot = true; break;
        case 'v': opts.verbose = true; break;
        case 'r':
            if (k + 1 >= cluster.size() || cluster[k + 1] < '0' || cluster[k + 1] > '9') {
                scan.fault = OptionFault::RevolutionWithoutDigit;
            }
            // The number takes exactly one character of the scan.
            opts.revolution = parse_revolution(cluster.substr(k + 1));
            ++k;
            break;
        default:
            scan.fault = OptionFault::UnknownLetter;
            scan.letter = cluster[k];
            return scan;
        }
    }
    return scan;
}

}  // namespace quen
