// Loaded into a program under test with LD_PRELOAD, to make chosen system
// calls behave as they would on other systems or at an awkward moment:
//   D88_TEST_INTERRUPT_AT=N, D88_TEST_SIGNAL=S: the Nth write to a regular
//     file (1 for the first) writes half of its bytes and then raises S, so
//     that a test decides exactly when a run is interrupted, in the middle
//     of writing a file;
//   D88_TEST_NO_TMPFILE=1: open with O_TMPFILE fails with EOPNOTSUPP, as on
//     a file system without it (an old kernel says EISDIR);
//   D88_TEST_NO_EMPTY_PATH=1: linkat with AT_EMPTY_PATH fails with ENOENT,
//     as for a user without the CAP_DAC_READ_SEARCH capability;
//   D88_TEST_NO_PROC=1: the same, and linkat from /proc/self/fd/N fails
//     with ENOENT too, as for such a user in a chroot without /proc;
//   D88_TEST_NO_ICONV=1: iconv_open fails with EINVAL, as where the
//     converter's modules are missing.
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

using WriteFunction = ssize_t (*)(int, const void*, size_t);
using OpenFunction = int (*)(const char*, int, ...);
using OpenatFunction = int (*)(int, const char*, int, ...);
using LinkatFunction = int (*)(int, const char*, int, const char*, int);
using IconvOpenFunction = iconv_t (*)(const char*, const char*);

int Setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::atoi(value) : 0;
}

int FileWrites = 0;

bool NoTmpfile(int flags) {
    return (flags & O_TMPFILE) == O_TMPFILE && Setting("D88_TEST_NO_TMPFILE") == 1;
}

mode_t Mode(int flags, va_list args) {
    const bool hasMode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
    return hasMode ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

int Open(const char* which, const char* path, int flags, va_list args) {
    const auto real = reinterpret_cast<OpenFunction>(dlsym(RTLD_NEXT, which));
    if (NoTmpfile(flags)) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return real(path, flags, Mode(flags, args));
}

int Openat(const char* which, int folder, const char* path, int flags, va_list args) {
    const auto real = reinterpret_cast<OpenatFunction>(dlsym(RTLD_NEXT, which));
    if (NoTmpfile(flags)) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return real(folder, path, flags, Mode(flags, args));
}

}  // namespace

extern "C" ssize_t write(int fd, const void* data, size_t count) {
    static const auto real = reinterpret_cast<WriteFunction>(dlsym(RTLD_NEXT, "write"));
    struct stat info;
    if (fd > 2 && count > 1 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        ++FileWrites == Setting("D88_TEST_INTERRUPT_AT")) {
        real(fd, data, count / 2);
        raise(Setting("D88_TEST_SIGNAL"));
    }
    return real(fd, data, count);
}

extern "C" int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const int fd = Open("open", path, flags, args);
    va_end(args);
    return fd;
}

extern "C" int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const int fd = Open("open64", path, flags, args);
    va_end(args);
    return fd;
}

extern "C" int openat(int folder, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const int fd = Openat("openat", folder, path, flags, args);
    va_end(args);
    return fd;
}

extern "C" int openat64(int folder, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const int fd = Openat("openat64", folder, path, flags, args);
    va_end(args);
    return fd;
}

extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    static const auto real = reinterpret_cast<LinkatFunction>(dlsym(RTLD_NEXT, "linkat"));
    const bool noProc = Setting("D88_TEST_NO_PROC") == 1;
    if ((noProc || Setting("D88_TEST_NO_EMPTY_PATH") == 1) && (flags & AT_EMPTY_PATH) != 0) {
        errno = ENOENT;
        return -1;
    }
    if (noProc && std::strncmp(from, "/proc/self/fd/", 14) == 0) {
        errno = ENOENT;
        return -1;
    }
    return real(fromDir, from, toDir, to, flags);
}

extern "C" iconv_t iconv_open(const char* to, const char* from) {
    static const auto real = reinterpret_cast<IconvOpenFunction>(dlsym(RTLD_NEXT, "iconv_open"));
    if (Setting("D88_TEST_NO_ICONV") == 1) {
        errno = EINVAL;
        return reinterpret_cast<iconv_t>(-1);
    }
    return real(to, from);
}
