// File names as messages show them: a name is whatever bytes the file system holds, and
// a control character in it would move the cursor, clear the screen or forge a line.
#pragma once

#include <string>

namespace quen {

// `name` with every control character (below 0x20, and 0x7F) written as \xNN; the rest
// as it is.
std::string shown_name(const std::string& name);

}  // namespace quen
