// The analyser's option letters, scanned by one rule for both programs: quenanalyze takes
// them from its command line, quendisk applies the same letters to every track side.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/options.h"

namespace quen {

enum class OptionFault : uint8_t {
    None,
    UnknownLetter,
    // -r without a digit after it: the analyser takes what follows as 0 and refuses
    // that revolution later; quendisk refuses the option at once. The scan goes on.
    RevolutionWithoutDigit,
};

struct OptionScan {
    OptionFault fault = OptionFault::None;
    char letter = 0;  // the letter that was refused
};

// Applies the letters of one option argument ("-bv", "-r2t") to `opts`, up to the first
// unknown letter. `-r` takes exactly the one character after it as its number.
OptionScan scan_option_cluster(std::string_view cluster, RunOptions& opts);

}  // namespace quen
