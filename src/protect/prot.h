// Catalogue of protection kinds and the ordered list of findings.
#pragma once

#include <cstdint>
#include <cstdio>

namespace quen {

enum class ProtType : int32_t {
    DBI = 0, DOI, DSN, EXT, FAA, FZD, IBV, IDG, IIF, ISN, ISS, ITN, LGS, LGT,
    MTV, NFA, NOS, NSD, NSI, SBD, SBI, SND, SHS, SHT, SID, SSZ, SWS, TNF,
};
inline constexpr int32_t kProtTypeCount = 28;

struct ProtInfo {
    char abbrev[16];
    char name[128];
    int32_t level;
};

// Descriptor of a kind; "UNK" for any code outside the catalogue.
const ProtInfo& prot_info(int32_t code);

struct ProtEntry {
    ProtEntry* next;
    int32_t D;
    int32_t T;
    int32_t H;
    int32_t S;
    int32_t type;
    int32_t value;
    uint32_t order;  // how many findings the list had taken before this one
};

class Prot_list {
public:
    Prot_list() = default;
    Prot_list(const Prot_list&) = delete;
    Prot_list& operator=(const Prot_list&) = delete;
    virtual ~Prot_list();

    // Inserts in ascending key order, newest first among equal keys.
    ProtEntry* add(int32_t S, int32_t type, int32_t value);
    ProtEntry* add(int32_t S, ProtType type, int32_t value) { return add(S, static_cast<int32_t>(type), value); }
    int print(FILE* out) const;
    // How many findings the list has taken; each entry's `order` counts them as they came.
    uint32_t added() const { return added_; }

    ProtEntry* head = nullptr;

private:
    uint32_t added_ = 0;
};

}  // namespace quen
