#include "stream/stream.h"

namespace quen {

int QuenStream::resolve_indexes() { return 0; }
void QuenStream::compute_rpm() { rpm_avg = 0.0; }

}  // namespace quen
