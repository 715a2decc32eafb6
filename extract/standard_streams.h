// Standard output and standard error as the programs use them: made safe at
// start, checked at the end.
#ifndef EXTRACT_STANDARD_STREAMS_H
#define EXTRACT_STANDARD_STREAMS_H

#include <cstdio>

namespace extract {

// When descriptor 1 or 2 is closed at start, /dev/null takes its place
// before any file is opened: otherwise the first output file would get
// descriptor 1 and receive the listing. Descriptor 1 gets it read-only, so
// that every write to standard output fails and the run says so, as it
// would have with the descriptor closed.
void GuardStandardDescriptors();

// Records the first failure of a write to a stream, with its reason, since
// the C library forgets the reason once it has dropped the buffer.
class OutputCheck {
public:
    explicit OutputCheck(std::FILE* stream) : stream_(stream) {}
    // `result` is what fprintf, fputs or fflush returned.
    void Note(int result);
    // Flushes, reads the error flag and, when `close`, closes the stream;
    // returns 0 when everything written arrived, else the errno value of
    // the first failure (EIO when the library kept none).
    int Finish(bool close);

private:
    std::FILE* stream_;
    int error_ = 0;
};

// True when `stream` goes to a terminal (a console on Windows).
bool IsTerminal(std::FILE* stream);

}  // namespace extract

#endif
