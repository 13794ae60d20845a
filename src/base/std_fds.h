// The three standard descriptors, held for the process's whole life.
#pragma once

namespace quen {

// A program started with descriptor 0, 1 or 2 closed would hand that number to the next
// file it opens, and its messages or its report would then land inside that file. Each
// closed one is taken by /dev/null opened the wrong way round (standard output and error
// read-only, standard input write-only), so that it stays closed in effect: every write
// to it fails as on a closed descriptor, and a report sent there is reported as lost.
void hold_standard_descriptors();

}  // namespace quen
