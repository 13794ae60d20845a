#include "protect/prot.h"

namespace quen {

namespace {

// Indexed by the kind's code.
const ProtInfo kCatalogue[kProtTypeCount] = {
    {"DBI", "Data Beyond Index", 1},
    {"DOI", "Data Over Index", 1},
    {"DSN", "Duplicate Sector Number", 1},
    {"EXT", "Extra Track", 2},
    {"FAA", "Flux reversals in Ambiguous Area", 3},
    {"FZD", "Fuzzy Data Block", 1},
    {"IBV", "Intra-sector bit-rate Variation", 1},
    {"IDG", "Invalid Data into Gap", 2},
    {"IIF", "Invalid ID Field", 2},
    {"ISN", "Invalid Sector Number", 1},
    {"ISS", "Invalid Synch Sequence", 3},
    {"ITN", "Invalid Track Number", 2},
    {"LGS", "Long Sector", 1},
    {"LGT", "Long Track", 1},
    {"MTV", "MFM Timing Violation", 3},
    {"NFA", "No Flux reversal Area", 1},
    {"NOS", "Number of Sectors", 3},
    {"NSD", "Non-Standard DAM", 2},
    {"NSI", "Non-Standard IDAM", 2},
    {"SBD", "Sector with Bad Data", 1},
    {"SBI", "Sector with Bad ID", 1},
    {"SND", "Sector with No Data", 1},
    {"SHS", "Short Sector", 1},
    {"SHT", "Short Track", 1},
    {"SID", "Synch mark in ID/DATA", 3},
    {"SSZ", "Sector Size", 2},
    {"SWS", "Sector Within Sector", 1},
    {"TNF", "Track Not Found", 2},
};

const ProtInfo kUnknown = {"UNK", "Internal Error = unknown type", 1};

// The kinds the list knows how to print; a higher level is never printed.
constexpr int32_t kMaxPrintedLevel = 3;

// Location key: location, head, track, sector. Computed in 32 bits with wrap-around
// (done unsigned, so that an absurd sector number cannot overflow a signed sum).
int32_t sort_key(const ProtEntry& e) {
    uint32_t key = static_cast<uint32_t>(e.D) * 2000000u + static_cast<uint32_t>(e.H) * 100000u +
                   static_cast<uint32_t>(e.T) * 1000u + static_cast<uint32_t>(e.S);
    return static_cast<int32_t>(key);
}

}  // namespace

const ProtInfo& prot_info(int32_t code) {
    if (code < 0 || code >= kProtTypeCount) return kUnknown;
    return kCatalogue[code];
}

Prot_list::~Prot_list() {
    while (head) {
        ProtEntry* next = head->next;
        delete head;
        head = next;
    }
}

ProtEntry* Prot_list::add(int32_t S, int32_t type, int32_t value) {
    ProtEntry* entry = new ProtEntry{nullptr, -1, -1, -1, S, type, value, added_++};
    const int32_t key = sort_key(*entry);

    // In front of the first entry whose key is not smaller: the list stays ascending
    // and, among equal keys, the newest finding comes first.
    ProtEntry** link = &head;
    while (*link && sort_key(**link) < key) link = &(*link)->next;
    entry->next = *link;
    *link = entry;
    return entry;
}

int Prot_list::print(FILE* out) const {
    int n = 0;
    for (const ProtEntry* e = head; e; e = e->next) ++n;

    std::fprintf(out, "\n*** Found %d protections ***\n", n);
    for (const ProtEntry* e = head; e; e = e->next) {
        const ProtInfo& info = prot_info(e->type);
        if (info.level > kMaxPrintedLevel) continue;
        if (e->D != -1) std::fprintf(out, "D%d H%d T%02d", e->D, e->H, e->T);
        if (e->S != -1) std::fprintf(out, " S%03d", e->S);
        std::fprintf(out, " %s %s", info.abbrev, info.name);
        if (e->value == -1) {
            std::fprintf(out, "\n");
        } else {
            std::fprintf(out, " (%d)\n", e->value);
        }
    }
    return n;
}

}  // namespace quen
