#include "base/diag_sink.h"

#include <cstring>

namespace quen {

void DiagSink::vsay(const char* fmt, va_list args) const {
    if (out == nullptr || (budget != nullptr && budget->diag_spent())) return;
    const int n = std::vfprintf(out, fmt, args);
    if (budget != nullptr && n > 0) budget->charge_diag(static_cast<uint64_t>(n), out);
}

void DiagSink::replay(const char* text, size_t n) const {
    if (out == nullptr || n == 0) return;
    if (budget == nullptr) {
        std::fwrite(text, 1, n, out);
        return;
    }
    // Line by line the text would stop after the line that reaches the limit.
    const uint64_t left = budget->diag_left();
    if (left == 0) return;
    if (n > left) {
        const void* nl = std::memchr(text + left - 1, '\n', n - (left - 1));
        if (nl != nullptr) n = static_cast<size_t>(static_cast<const char*>(nl) - text) + 1;
    }
    std::fwrite(text, 1, n, out);
    budget->charge_diag(n, out);
}

}  // namespace quen
