#include "protect/prot.h"

namespace quen {

const ProtInfo& prot_info(int32_t) {
    static const ProtInfo unknown{"UNK", "Internal Error = unknown type", 1};
    return unknown;
}

Prot_list::~Prot_list() {
    while (head) {
        ProtEntry* next = head->next;
        delete head;
        head = next;
    }
}

ProtEntry* Prot_list::add(int32_t, int32_t, int32_t) { return nullptr; }
int Prot_list::print(FILE*) const { return 0; }

}  // namespace quen
