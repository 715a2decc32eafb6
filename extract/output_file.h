// Writing one extracted file into the working directory, safely.
//
// A name that nothing in the folder has yet is created exclusively and
// written in place: one creation, one write, one close. A name that exists
// already (a file from an earlier disk or run, a symbolic link, anything) is
// replaced only by a complete new file: the data goes to a temporary name of
// this run's own, created exclusively, which is then renamed over the old
// name. A link is thus replaced, never written through, and an old file
// stays whole when the new one cannot be written.
//
// Temporary names hold the process id and a counter, so that any number of
// runs can share one folder; a run never removes or renames a file it did
// not create. When the run is interrupted (Ctrl-C, SIGTERM, SIGHUP; Ctrl-C
// and Ctrl-Break on Windows) while a file is being written, the file or the
// temporary is removed before the run ends by that signal.
//
// On Windows a name's bytes are read as code page 932 (Shift_JIS), so that
// kana come out as kana whatever the system's code page; a name that is not
// valid code page 932 is taken in the system's code page, as the C library
// would.
#ifndef EXTRACT_OUTPUT_FILE_H
#define EXTRACT_OUTPUT_FILE_H

#include <cstdint>

namespace extract {

struct WriteResult {
    int error;         // 0 when the file was written, else an errno value
    const char* what;  // the step that failed: "cannot create the file", ...
};

// Installs the handlers that remove a half-written file on an interruption.
// Called once, by the programs, before the first file is written.
void RemovePartialFilesOnInterrupt();

// Writes `size` bytes of `data` to the file `name` in the working directory,
// replacing whatever had that name.
WriteResult WriteOutputFile(const char* name, const std::uint8_t* data, std::int32_t size);

}  // namespace extract

#endif
