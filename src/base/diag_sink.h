// Where the decoders' diagnostic lines (-v) go, within the run's limit on them: handed
// down to every reading, so that one that keeps its lines for later only changes where.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

#include "base/options.h"
#include "base/work_budget.h"

namespace quen {

struct DiagSink {
    FILE* out = nullptr;           // null: no lines
    WorkBudget* budget = nullptr;  // the limit the lines count against; none when null

    // The run's own: its diagnostic stream with -v, nowhere without.
    static DiagSink of(const RunOptions& opts) { return {opts.verbose ? opts.diag_out : nullptr, opts.budget}; }

    // Whether a line written now would be kept: the text is whole up to here.
    bool spent() const { return out != nullptr && budget != nullptr && budget->diag_spent(); }
    [[gnu::format(printf, 2, 0)]] void vsay(const char* fmt, va_list args) const;
    // Writes text another reading wrote for this one, as vsay() would have written it
    // line by line.
    void replay(const char* text, size_t n) const;
};

}  // namespace quen
