#include "standard_streams.h"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace extract {

void GuardStandardDescriptors() {
#ifndef _WIN32
    // On Windows output files are opened as handles, never as descriptors
    // of the C library, so none can take the place of standard output.
    const int flags[] = {O_RDONLY, O_RDONLY, O_WRONLY};
    for (int fd = 1; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int null = open("/dev/null", flags[fd] | O_CLOEXEC);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
#endif
}

void OutputCheck::Note(int result) {
    if (result < 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
}

int OutputCheck::Finish(bool close) {
    errno = 0;
    Note(std::fflush(stream_));
    if (std::ferror(stream_) && error_ == 0) error_ = EIO;
    if (close) {
        errno = 0;
        Note(std::fclose(stream_));
    }
    return error_;
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

}  // namespace extract
