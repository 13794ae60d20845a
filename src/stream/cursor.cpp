#include "stream/cursor.h"

namespace quen {

void FluxCursor::start(uint8_t) {}
bool FluxCursor::at_end() const { return true; }
int32_t FluxCursor::next_ns() { return 0; }

}  // namespace quen
