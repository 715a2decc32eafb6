// Writing one extracted file into the working directory, safely.
//
// A file appears under its name only when it is whole. On Linux its data
// goes into a file that has no name at all (open(".", O_TMPFILE)), which is
// then linked under the entry's name; a death of the process at any moment
// before that leaves nothing behind. When the name exists already (a file
// from an earlier disk or run, a symbolic link, anything), the nameless file
// is linked under a temporary name of this run's own and renamed over the
// old name in one step: a link is replaced, never written through, and an
// old file stays whole when the new one cannot be written.
//
// Where O_TMPFILE or naming such a file is not available (an old kernel,
// some file systems, a chroot without /proc, the web page's in-memory file
// system), the data goes to a temporary name of this run's own instead,
// ".d88ext-PID-N", created exclusively, which is renamed over the name when
// complete. An interruption by a signal the run can catch removes the
// temporary; only a SIGKILL there can leave one behind.
//
// On Windows the temporary is created with DELETE access and marked
// delete-on-close through its handle before anything is written; the mark
// is cleared only when the data is complete, and the file is then renamed
// through the same handle. A process ended before that leaves nothing.
//
// No run ever removes a file under an entry's name, so no race between runs
// that share a folder can remove another run's complete file.
//
// On Windows a name's bytes are read as code page 932 (Shift_JIS), so that
// kana come out as kana whatever the system's code page; a name that is not
// valid code page 932 is taken in the system's code page, as the C library
// would.
#ifndef EXTRACT_OUTPUT_FILE_H
#define EXTRACT_OUTPUT_FILE_H

#include <cstdint>

#include "d88/d88image.h"

namespace extract {

enum class WriteStatus {
    Written,
    Failed,    // `error` and `what` tell why
    IsImage,   // the name is the image being read: not replaced
};

struct WriteResult {
    WriteStatus status;
    int error;         // an errno value when Failed
    const char* what;  // the step that failed: "cannot create the file", ...
};

// Installs the handlers that remove a run-owned temporary on an
// interruption, and ignores SIGXFSZ, so that a file-size limit fails a
// write (reported, counted) instead of killing the run. Called once, by the
// programs, before the first file is written.
void RemovePartialFilesOnInterrupt();

// The file that is never replaced: the image being read. Names that reach
// it are refused with WriteStatus::IsImage.
void ProtectFile(const d88::FileIdentity& identity);

// Makes `path` the folder later files go to (null or empty: the working
// folder). Returns 0, or the errno value of the failure to open it; the
// folder is then the working folder.
int SetOutputFolder(const char* path);

// Writes `size` bytes of `data` to the file `name` in the output folder (the
// working folder unless SetOutputFolder said otherwise), replacing whatever
// had that name.
WriteResult WriteOutputFile(const char* name, const std::uint8_t* data, std::int32_t size);

}  // namespace extract

#endif
