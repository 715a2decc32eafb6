#include "output_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace extract {

namespace {

constexpr const char* kCannotCreate = "cannot create the file";
constexpr const char* kCannotWrite = "cannot write the file";

// Temporary names: ".d88ext-" PID "-" COUNTER. Entry names have at most 9
// bytes and never begin with ".d", so none can be one of them.
constexpr std::size_t kPathSize = 64;
constexpr int kTemporaryTries = 1000;

unsigned long TemporaryCounter = 0;

// What an interruption must remove. The interrupt handler reads these; the
// writer sets Path while Phase is Idle, so the handler never sees a name
// being written.
enum Phase : int {
    kIdle = 0,
    kOpening = 1,   // creation under way: whether the file exists is not known
    kOwnFile = 2,   // Path is a file this run created under its final name
    kTemporary = 3, // Path is this run's temporary
};
volatile std::sig_atomic_t CurrentPhase = kIdle;
volatile std::sig_atomic_t PendingSignal = 0;
char CurrentPath[kPathSize];

void SetPath(const char* path) {
    std::snprintf(CurrentPath, sizeof CurrentPath, "%s", path);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

#ifdef _WIN32

void* volatile CurrentHandle = INVALID_HANDLE_VALUE;

int ErrnoFrom(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY: return EINVAL;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    default: return EIO;
    }
}

// Entry names are Shift_JIS; one that is not valid code page 932 is read in
// the system's code page, as fopen would have read it.
bool ToWide(const char* name, wchar_t (&out)[kPathSize]) {
    const int size = static_cast<int>(kPathSize);
    if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, name, -1, out, size) > 0) return true;
    return MultiByteToWideChar(CP_ACP, 0, name, -1, out, size) > 0;
}

// Ctrl-C and Ctrl-Break arrive on a thread of their own: the file being
// written is marked for deletion through its handle, and the system removes
// it when the process ends and the handle closes.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    HANDLE handle = CurrentHandle;
    if (CurrentPhase != kIdle && handle != INVALID_HANDLE_VALUE) {
        FILE_DISPOSITION_INFO remove{};
        remove.DeleteFile = TRUE;
        SetFileInformationByHandle(handle, FileDispositionInfo, &remove, sizeof remove);
    }
    return FALSE;  // the default handler ends the process
}

// Creates `path` exclusively for writing; the handle allows deletion, for
// the cleanup above. Others may read it, and may replace or remove the name
// while it is open: another run that writes the same name replaces this
// file instead of failing.
HANDLE CreateExclusive(const wchar_t* path) {
    return CreateFileW(path, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                       nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE handle, const std::uint8_t* data, std::int32_t size, int* error) {
    DWORD written = 0;
    if (WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr) &&
        written == static_cast<DWORD>(size)) {
        return true;
    }
    *error = ErrnoFrom(GetLastError());
    return false;
}

void DeleteOwn(HANDLE handle) {
    FILE_DISPOSITION_INFO remove{};
    remove.DeleteFile = TRUE;
    SetFileInformationByHandle(handle, FileDispositionInfo, &remove, sizeof remove);
}

}  // namespace

void RemovePartialFilesOnInterrupt() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

WriteResult WriteOutputFile(const char* name, const std::uint8_t* data, std::int32_t size) {
    wchar_t finalPath[kPathSize];
    if (!ToWide(name, finalPath)) return {EINVAL, kCannotCreate};

    // A free name is created and written directly.
    SetPath(name);
    HANDLE handle = CreateExclusive(finalPath);
    if (handle != INVALID_HANDLE_VALUE) {
        CurrentHandle = handle;
        CurrentPhase = kOwnFile;
        int error = 0;
        if (!WriteAll(handle, data, size, &error)) DeleteOwn(handle);
        CloseHandle(handle);
        CurrentPhase = kIdle;
        CurrentHandle = INVALID_HANDLE_VALUE;
        return {error, error != 0 ? kCannotWrite : ""};
    }
    const DWORD createError = GetLastError();
    if (createError != ERROR_FILE_EXISTS && createError != ERROR_ALREADY_EXISTS) {
        return {ErrnoFrom(createError), kCannotCreate};
    }

    // Anything else of that name is replaced by a complete new file.
    for (int attempt = 0; attempt < kTemporaryTries; attempt++) {
        char temporary[kPathSize];
        std::snprintf(temporary, sizeof temporary, ".d88ext-%lu-%lu",
                      static_cast<unsigned long>(GetCurrentProcessId()), TemporaryCounter++);
        wchar_t temporaryWide[kPathSize];
        MultiByteToWideChar(CP_ACP, 0, temporary, -1, temporaryWide, static_cast<int>(kPathSize));
        SetPath(temporary);
        handle = CreateExclusive(temporaryWide);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            return {ErrnoFrom(error), kCannotCreate};
        }
        CurrentHandle = handle;
        CurrentPhase = kTemporary;
        int error = 0;
        if (!WriteAll(handle, data, size, &error)) {
            DeleteOwn(handle);
            CloseHandle(handle);
            CurrentPhase = kIdle;
            CurrentHandle = INVALID_HANDLE_VALUE;
            return {error, kCannotWrite};
        }
        CloseHandle(handle);
        CurrentHandle = INVALID_HANDLE_VALUE;
        // One step: the old file stays until the new one takes its name.
        if (!MoveFileExW(temporaryWide, finalPath, MOVEFILE_REPLACE_EXISTING)) {
            error = ErrnoFrom(GetLastError());
            DeleteFileW(temporaryWide);
            CurrentPhase = kIdle;
            return {error, kCannotCreate};
        }
        CurrentPhase = kIdle;
        return {0, ""};
    }
    return {EEXIST, kCannotCreate};
}

#else

volatile std::sig_atomic_t CurrentFd = -1;

// Removes what the interrupted write left. A file created under its final
// name is removed only while that name still holds it: another run may have
// replaced it meanwhile with a complete file of its own. Only
// async-signal-safe calls.
void RemoveCurrent() {
    if (CurrentPhase == kTemporary) {
        unlink(CurrentPath);
    } else if (CurrentPhase == kOwnFile) {
        struct stat own;
        struct stat named;
        if (fstat(CurrentFd, &own) == 0 &&
            fstatat(AT_FDCWD, CurrentPath, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            own.st_dev == named.st_dev && own.st_ino == named.st_ino) {
            unlink(CurrentPath);
        }
    }
    CurrentPhase = kIdle;
}

// Installed with SA_RESETHAND: the signal's own action is back in place
// when this runs, so raising it again ends the process as it would have
// ended without the handler.
void OnInterrupt(int signal) {
    if (CurrentPhase == kOpening) {
        // Whether the file exists is known only once the creation returns;
        // the writer finishes the work then.
        PendingSignal = signal;
        return;
    }
    const int saved = errno;
    RemoveCurrent();
    errno = saved;
    raise(signal);
}

// Creates `path` exclusively (never an existing file, never through a
// link) and records it as `phase` for the interrupt handler.
int CreateExclusive(const char* path, Phase phase) {
    SetPath(path);
    CurrentPhase = kOpening;
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    const int error = errno;
    if (fd >= 0) {
        CurrentFd = fd;
        CurrentPhase = phase;
    } else {
        CurrentPhase = kIdle;
    }
    if (PendingSignal != 0) {
        RemoveCurrent();
        raise(PendingSignal);
    }
    errno = error;
    return fd;
}

bool WriteAll(int fd, const std::uint8_t* data, std::int32_t size, int* error) {
    auto left = static_cast<std::size_t>(size);
    while (left > 0) {
        const ssize_t wrote = write(fd, data, left);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            *error = wrote < 0 ? errno : EIO;
            return false;
        }
        data += wrote;
        left -= static_cast<std::size_t>(wrote);
    }
    return true;
}

// Removes `path` when it still names the file open as `fd`.
void RemoveIfOwn(const char* path, int fd) {
    struct stat own;
    struct stat named;
    if (fstat(fd, &own) == 0 && lstat(path, &named) == 0 && own.st_dev == named.st_dev &&
        own.st_ino == named.st_ino) {
        unlink(path);
    }
}

}  // namespace

void RemovePartialFilesOnInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    sigemptyset(&action.sa_mask);
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    for (int signal : signals) {
        struct sigaction old {};
        // A signal ignored by whoever started the run (nohup) stays ignored.
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

WriteResult WriteOutputFile(const char* entryName, const std::uint8_t* data, std::int32_t size) {
#ifdef __EMSCRIPTEN__
    // In the web page the folder is Emscripten's file system, which keeps
    // names as UTF-8 text: other bytes (Shift_JIS) would be lost, and two
    // names could become one. There each name is stored as its bytes in
    // hexadecimal, which the page turns back into the name.
    char hexName[kPathSize];
    std::size_t at = 0;
    for (const char* p = entryName; *p != '\0' && at + 3 < sizeof hexName; p++) {
        std::snprintf(hexName + at, 3, "%02x", static_cast<unsigned char>(*p));
        at += 2;
    }
    hexName[at] = '\0';
    const char* name = hexName;
#else
    const char* name = entryName;
#endif
    // A free name is created and written directly.
    int fd = CreateExclusive(name, kOwnFile);
    if (fd >= 0) {
        int error = 0;
        if (!WriteAll(fd, data, size, &error)) {
            RemoveIfOwn(name, fd);
            CurrentPhase = kIdle;
            close(fd);
            return {error, kCannotWrite};
        }
        // Complete: from here an interruption leaves it in place.
        CurrentPhase = kIdle;
        if (close(fd) != 0) {
            error = errno;
            unlink(name);
            return {error, kCannotWrite};
        }
        return {0, ""};
    }
    if (errno != EEXIST) return {errno, kCannotCreate};

    // Anything else of that name is replaced by a complete new file.
    for (int attempt = 0; attempt < kTemporaryTries; attempt++) {
        char temporary[kPathSize];
        std::snprintf(temporary, sizeof temporary, ".d88ext-%ld-%lu",
                      static_cast<long>(getpid()), TemporaryCounter++);
        fd = CreateExclusive(temporary, kTemporary);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return {errno, kCannotCreate};
        }
        int error = 0;
        const bool written = WriteAll(fd, data, size, &error);
        if (close(fd) != 0 && written) error = errno;
        if (!written || error != 0) {
            unlink(temporary);
            CurrentPhase = kIdle;
            return {error, kCannotWrite};
        }
        if (rename(temporary, name) != 0) {
            error = errno;
            unlink(temporary);
            CurrentPhase = kIdle;
            return {error, kCannotCreate};
        }
        CurrentPhase = kIdle;
        return {0, ""};
    }
    return {EEXIST, kCannotCreate};
}

#endif

}  // namespace extract
