// What the in-process runs and the render script write besides their outputs: kept in
// scratch files, read back and passed on under the name of the file they concern.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "base/owned_file.h"

namespace quen::disk {

// Where output nobody asked for goes: written and forgotten, never held in memory.
// Null when it cannot be opened.
OwnedFile discard_sink();

// What a scratch file holds from its start, at most `max_bytes` of it.
std::string read_back(FILE* f, size_t max_bytes = std::string::npos);

// Each line of `text` as its own line after `prefix`; a last line without its end gets one.
void print_lines(FILE* out, const std::string& prefix, const std::string& text);

}  // namespace quen::disk
