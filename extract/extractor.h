// The programs' run: check the command line, open the image, walk its disks,
// list and extract each disk's directory entries into the working directory.
//
// Standard output carries exactly the listing and skip lines. Standard error
// carries the usage and open-failure messages and one warning line per
// problem met on the way, each starting with the program's name.
//
// The walk of one image is also offered on its own, for d88ext, which reads
// many images, chooses each disk's layout and folder, and gathers each
// image's lines to print them in order.
#ifndef EXTRACT_EXTRACTOR_H
#define EXTRACT_EXTRACTOR_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "d88/d88image.h"
#include "directory.h"
#include "standard_streams.h"

namespace extract {

// Each file is read whole into a fixed buffer before it is written; it is
// larger than the biggest file an entry can describe (255 * 512 bytes).
constexpr std::int32_t kTransferBufferSize = 737280;

#if defined(__GNUC__) && !defined(_WIN32)
#define D88_PRINTF_FORMAT __attribute__((format(printf, 2, 3)))
#else
#define D88_PRINTF_FORMAT
#endif

// Where the lines of a walk go.
class TextSink {
public:
    virtual ~TextSink() = default;
    void Print(const char* format, ...) D88_PRINTF_FORMAT;
    virtual void PrintList(const char* format, std::va_list args) = 0;
    // Lines printed so far reach their destination: warnings follow every
    // listing line printed before them, also when both go to one file.
    virtual void Flush() {}
};

// A stream of the C library; the first failure to write to it is noted in
// `check`, when one is given.
class FileSink : public TextSink {
public:
    FileSink(std::FILE* stream, OutputCheck* check) : stream_(stream), check_(check) {}
    void PrintList(const char* format, std::va_list args) override;
    void Flush() override;

private:
    std::FILE* stream_;
    OutputCheck* check_;
};

// What to do with a disk: read its directory with `layout`, or skip it
// (null), giving `warning` first when it is not null.
struct DiskChoice {
    const DirectoryLayout* layout;
    const char* warning;
};

class DiskPolicy {
public:
    virtual ~DiskPolicy() = default;
    // Called for each disk once it is selected, before its directory is
    // read; may make the folder the disk's files go to the output folder.
    virtual DiskChoice ChooseDisk(d88::D88Image& image, std::int32_t disk) = 0;
};

struct WalkSettings {
    const char* prefix;  // starts every warning line: "d88ext8", "d88ext: PATH"
    bool windowsNames;
    TextSink* listing;   // null: no listing
    TextSink* warnings;
    // Names in listing lines are shown with control bytes as "?" when the
    // listing goes to a terminal, so that an image cannot send it escape
    // sequences; elsewhere they are the bytes read.
    bool terminal;
    // When set, the listing of each disk read starts with the line
    // "== HEADING disk N (PROGRAM)".
    const char* heading;
};

struct WalkResult {
    std::int32_t disks;
    std::int32_t filesWritten;
    std::int32_t warnings;
    // Entries with data that did not become a file.
    std::int32_t notWritten;
    // A 65th disk is there and was not read.
    bool disksLeftOut;
};

// The image the walk reads, held by this module: one at a time.
d88::D88Image& WalkedImage();

// Walks every disk of the open image in file order, as the programs do.
WalkResult WalkImage(const WalkSettings& settings, DiskPolicy& policy);

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
