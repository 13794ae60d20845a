#include "report/reports.h"

namespace quen {

void print_id_layout(FILE*, const IdLayout&, const ByteBuffer&) {}
void print_id_buffer(FILE*, const IdLayout&, const ByteBuffer&, const RunOptions&) {}

}  // namespace quen
