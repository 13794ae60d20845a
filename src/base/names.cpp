#include "base/names.h"

#include <cstdio>

namespace quen {

std::string shown_name(const std::string& name) {
    std::string shown;
    shown.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            shown += c;
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned{byte});
        shown += escaped;
    }
    return shown;
}

}  // namespace quen
