// Loaded into a program under test with LD_PRELOAD: the Nth write to a
// regular file (D88_TEST_INTERRUPT_AT, 1 for the first) writes half of its
// bytes and then raises the signal D88_TEST_SIGNAL, so that a test decides
// exactly when a run is interrupted, in the middle of writing a file.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace {

using WriteFunction = ssize_t (*)(int, const void*, size_t);

int Setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::atoi(value) : 0;
}

int FileWrites = 0;

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
