// Helpers for the report tests: capture what a printer writes, and build records.
#pragma once

#include <cstddef>
#include <string>

#include "support/capture.h"
#include "support/records.h"

namespace quen::testing {

inline std::string blanks(size_t n) { return std::string(n, ' '); }

}  // namespace quen::testing
