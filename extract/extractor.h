// The programs' run: check the command line, open the image, walk its disks,
// list and extract each disk's directory entries into the working directory.
//
// Standard output carries exactly the listing and skip lines. Standard error
// carries the usage and open-failure messages and one warning line per
// problem met on the way, each starting with the program's name.
#ifndef EXTRACT_EXTRACTOR_H
#define EXTRACT_EXTRACTOR_H

#include <cstdint>
#include <cstdio>

#include "directory.h"

namespace extract {

// Each file is read whole into a fixed buffer before it is written; it is
// larger than the biggest file an entry can describe (255 * 512 bytes).
constexpr std::int32_t kTransferBufferSize = 737280;

struct ProgramConfig {
    const char* name;  // starts every warning line
    DirectoryLayout layout;
    bool windowsNames;
    // Whether the run closes `out` at its end, to learn of a late write
    // error: the programs do (their standard output), callers that go on
    // using the stream do not.
    bool closeOutput;
};

// The whole run; returns the exit status: 1 for a usage or open failure
// (the image cannot be opened, or cannot be positioned); 2 when the walk
// finished but something was lost: an entry with data that could not be
// written as a file (a last line counts them), disks past the 64th, or
// standard output that could not be written; otherwise 0, warnings about
// the image or not. The listing goes to `out`, messages to `err`: standard
// output and standard error for the programs.
int RunProgram(int argc, char** argv, const ProgramConfig& config, std::FILE* out,
               std::FILE* err);

}  // namespace extract

#endif
