#include "support/builder.h"

namespace quen::synth {
// Implemented by the stream builder work.
}  // namespace quen::synth
