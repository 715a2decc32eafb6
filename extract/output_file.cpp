#include "output_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <cwchar>

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

constexpr WriteResult kWritten{WriteStatus::Written, 0, ""};
constexpr WriteResult kIsImage{WriteStatus::IsImage, 0, ""};

WriteResult Failure(int error, const char* what) { return {WriteStatus::Failed, error, what}; }

// Temporary names: ".d88ext-" PID "-" COUNTER. Entry names never begin
// with "." once made safe, so none can be one of them.
constexpr std::size_t kPathSize = 64;
constexpr int kTemporaryTries = 1000;

unsigned long TemporaryCounter = 0;

bool HaveProtected = false;
d88::FileIdentity Protected{};

}  // namespace

void ProtectFile(const d88::FileIdentity& identity) {
    Protected = identity;
    HaveProtected = true;
}

namespace {

#ifdef _WIN32

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

// The folder files go to, with a separator at its end; empty for the
// working folder.
wchar_t FolderPrefix[32768] = L"";

// `name` in the output folder, in `out` (which holds 32,768 units).
bool InFolder(const wchar_t* name, wchar_t* out) {
    const std::size_t prefix = std::wcslen(FolderPrefix);
    const std::size_t length = std::wcslen(name);
    if (prefix + length + 1 > 32768) return false;
    std::memcpy(out, FolderPrefix, prefix * sizeof(wchar_t));
    std::memcpy(out + prefix, name, (length + 1) * sizeof(wchar_t));
    return true;
}

bool MarkForDeletion(HANDLE handle, bool remove) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

// FILE_RENAME_INFO ends with the new name, whose length it states; room
// for the longest path.
union RenameInfo {
    FILE_RENAME_INFO info;
    unsigned char room[sizeof(FILE_RENAME_INFO) + 32768 * sizeof(wchar_t)];
};
RenameInfo Rename;

// Renames the open file to `path`, through its handle. The path is made
// full first: a relative one would be taken from the working folder, not
// from the file's own.
bool RenameByHandle(HANDLE handle, const wchar_t* path, bool replace) {
    std::memset(&Rename, 0, sizeof Rename);
    const DWORD length = GetFullPathNameW(path, 32767, Rename.info.FileName, nullptr);
    if (length == 0 || length >= 32767) return false;
    Rename.info.ReplaceIfExists = replace ? TRUE : FALSE;
    Rename.info.RootDirectory = nullptr;
    Rename.info.FileNameLength = length * static_cast<DWORD>(sizeof(wchar_t));
    return SetFileInformationByHandle(handle, FileRenameInfo, &Rename, sizeof Rename) != 0;
}

// Renames over an existing file. Another run may hold that file open for the
// moment between its own rename and close, which makes the system refuse
// (access denied): tried again a few times, briefly.
bool ReplaceByHandle(HANDLE handle, const wchar_t* path) {
    for (int attempt = 0; attempt < 50; attempt++) {
        if (RenameByHandle(handle, path, true)) return true;
        if (GetLastError() != ERROR_ACCESS_DENIED) return false;
        Sleep(10);
    }
    return false;
}

// Whether `path` names the protected file (the image being read).
bool IsProtected(const wchar_t* path) {
    if (!HaveProtected) return false;
    HANDLE handle = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool same =
        GetFileInformationByHandle(handle, &information) &&
        information.dwVolumeSerialNumber == Protected.volume &&
        ((static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
         information.nFileIndexLow) == Protected.index;
    CloseHandle(handle);
    return same;
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

// Gives up a temporary: marked for deletion, it goes when the handle closes.
WriteResult Abandon(HANDLE handle, WriteResult result) {
    MarkForDeletion(handle, true);
    CloseHandle(handle);
    return result;
}

// Paths in the output folder, built for each file.
wchar_t TemporaryPath[32768];
wchar_t FinalPath[32768];

}  // namespace

// Nothing to install: a temporary is marked for deletion while it is being
// written, so the system removes it however the process ends.
void RemovePartialFilesOnInterrupt() {}

int SetOutputFolder(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        FolderPrefix[0] = L'\0';
        return 0;
    }
    // Paths come as UTF-8 (from the UTF-16 command line).
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, FolderPrefix,
                                          32766);
    if (units <= 0) {
        FolderPrefix[0] = L'\0';
        return EINVAL;
    }
    const std::size_t length = std::wcslen(FolderPrefix);
    if (FolderPrefix[length - 1] != L'\\' && FolderPrefix[length - 1] != L'/') {
        FolderPrefix[length] = L'\\';
        FolderPrefix[length + 1] = L'\0';
    }
    return 0;
}

WriteResult WriteOutputFile(const char* name, const std::uint8_t* data, std::int32_t size) {
    wchar_t finalName[kPathSize];
    if (!ToWide(name, finalName) || !InFolder(finalName, FinalPath)) {
        return Failure(EINVAL, kCannotCreate);
    }

    for (int attempt = 0; attempt < kTemporaryTries; attempt++) {
        char temporary[kPathSize];
        std::snprintf(temporary, sizeof temporary, ".d88ext-%lu-%lu",
                      static_cast<unsigned long>(GetCurrentProcessId()), TemporaryCounter++);
        wchar_t temporaryWide[kPathSize];
        MultiByteToWideChar(CP_ACP, 0, temporary, -1, temporaryWide, static_cast<int>(kPathSize));
        if (!InFolder(temporaryWide, TemporaryPath)) return Failure(ENAMETOOLONG, kCannotCreate);
        // Others may read it, and replace or remove the name while it is
        // open: another run that writes the same name is never refused.
        HANDLE handle = CreateFileW(TemporaryPath, GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            return Failure(ErrnoFrom(error), kCannotCreate);
        }
        // From here until the data is whole, the file goes with the handle.
        MarkForDeletion(handle, true);
        int error = 0;
        if (!WriteAll(handle, data, size, &error)) {
            return Abandon(handle, Failure(error, kCannotWrite));
        }
        // The mark is cleared before the rename: cleared after it, a process
        // ended between the two would lose both the old file and the new.
        if (!MarkForDeletion(handle, false)) {
            return Abandon(handle, Failure(ErrnoFrom(GetLastError()), kCannotWrite));
        }
        if (!RenameByHandle(handle, FinalPath, false)) {
            const DWORD renameError = GetLastError();
            if (renameError != ERROR_FILE_EXISTS && renameError != ERROR_ALREADY_EXISTS) {
                return Abandon(handle, Failure(ErrnoFrom(renameError), kCannotCreate));
            }
            if (IsProtected(FinalPath)) return Abandon(handle, kIsImage);
            if (!ReplaceByHandle(handle, FinalPath)) {
                return Abandon(handle, Failure(ErrnoFrom(GetLastError()), kCannotCreate));
            }
        }
        CloseHandle(handle);
        return kWritten;
    }
    return Failure(EEXIST, kCannotCreate);
}

#else

// What an interruption must remove. The interrupt handler reads these; the
// writer sets Path while Phase is Idle, so the handler never sees a name
// being written.
enum Phase : int {
    kIdle = 0,
    kOpening = 1,    // creation under way: whether the name exists is not known
    kTemporary = 2,  // Path is this run's temporary
};
volatile std::sig_atomic_t CurrentPhase = kIdle;
volatile std::sig_atomic_t PendingSignal = 0;
char CurrentPath[kPathSize];

// The folder files go to: the working folder, or one opened by
// SetOutputFolder. The interrupt handler removes temporaries through it.
volatile std::sig_atomic_t Folder = AT_FDCWD;

void SetPath(const char* path) {
    std::snprintf(CurrentPath, sizeof CurrentPath, "%s", path);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

// Set once O_TMPFILE, or naming a file made with it, proved unavailable
// here: the rest of the run writes through named temporaries.
bool NamedTemporariesOnly = false;

// Whether a nameless file can be named through its descriptor directly
// (AT_EMPTY_PATH, which needs the CAP_DAC_READ_SEARCH capability), rather
// than through its /proc/self/fd path, whose lookup costs about as much as
// writing a small file. Tried once; kept for the rest of the run.
bool EmptyPathWorks = true;

// Gives the nameless file open as `fd` the name `name`; sets errno.
bool NameNameless(int fd, const char* self, const char* name) {
    if (EmptyPathWorks) {
        if (linkat(fd, "", Folder, name, AT_EMPTY_PATH) == 0) return true;
        if (errno != ENOENT && errno != EPERM && errno != EINVAL) return false;
        EmptyPathWorks = false;
    }
    return linkat(AT_FDCWD, self, Folder, name, AT_SYMLINK_FOLLOW) == 0;
}

// Removes the run's temporary, if one is named now. Only async-signal-safe
// calls; never an entry's name.
void RemoveCurrent() {
    if (CurrentPhase == kTemporary) unlinkat(Folder, CurrentPath, 0);
    CurrentPhase = kIdle;
}

// Installed with SA_RESETHAND: the signal's own action is back in place
// when this runs, so raising it again ends the process as it would have
// ended without the handler.
void OnInterrupt(int signal) {
    if (CurrentPhase == kOpening) {
        // Whether the temporary exists is known only once the creation
        // returns; the writer finishes the work then.
        PendingSignal = signal;
        return;
    }
    const int saved = errno;
    RemoveCurrent();
    errno = saved;
    raise(signal);
}

// Makes a temporary name of this run's own with `create(path)`, which must
// fail with EEXIST when the name is taken, and records it for the interrupt
// handler. Returns 0, or the errno value of the failure.
template <typename Create>
int MakeTemporary(char (&path)[kPathSize], Create create) {
    for (int attempt = 0; attempt < kTemporaryTries; attempt++) {
        std::snprintf(path, sizeof path, ".d88ext-%ld-%lu", static_cast<long>(getpid()),
                      TemporaryCounter++);
        SetPath(path);
        CurrentPhase = kOpening;
        const bool made = create(path);
        const int error = made ? 0 : errno;
        CurrentPhase = made ? kTemporary : kIdle;
        if (PendingSignal != 0) {
            RemoveCurrent();
            raise(PendingSignal);
        }
        if (error != EEXIST) return error;
    }
    return EEXIST;
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

// Whether `path` itself (not a link's target) is the protected file.
bool IsProtected(const char* path) {
    struct stat named;
    return HaveProtected && fstatat(Folder, path, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           static_cast<std::uint64_t>(named.st_dev) == Protected.volume &&
           static_cast<std::uint64_t>(named.st_ino) == Protected.index;
}

// Puts the complete temporary in place of `name`; the temporary is gone
// afterwards whatever happens.
WriteResult RenameTemporary(const char* temporary, const char* name) {
    WriteResult result = kWritten;
    if (IsProtected(name)) {
        result = kIsImage;
    } else if (renameat(Folder, temporary, Folder, name) != 0) {
        result = Failure(errno, kCannotCreate);
    }
    if (result.status == WriteStatus::Written) {
        CurrentPhase = kIdle;
    } else {
        RemoveCurrent();
    }
    return result;
}

#ifdef O_TMPFILE
// Errors of linkat that say naming a nameless file does not work here at
// all (no /proc, a file system that refuses), rather than that this one
// name cannot be made.
bool TechniqueUnavailable(int error) {
    return error == ENOENT || error == EPERM || error == EACCES || error == EXDEV ||
           error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
}

// The nameless way. Returns false, with nothing done, when it is not
// available here; the caller then writes through a named temporary.
bool WriteNameless(const char* name, const std::uint8_t* data, std::int32_t size,
                   WriteResult* result) {
    const int fd = openat(Folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        // Whatever the reason (EISDIR on old kernels, EOPNOTSUPP on some
        // file systems, EACCES in a read-only folder), the named way tells
        // the user what is wrong, or works.
        NamedTemporariesOnly = true;
        return false;
    }
    int error = 0;
    if (!WriteAll(fd, data, size, &error)) {
        close(fd);  // the data never had a name: nothing to remove
        *result = Failure(error, kCannotWrite);
        return true;
    }
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (NameNameless(fd, self, name)) {
        // Named and whole. A failing close (a network file system reports
        // late write errors there) is told; the name is never removed.
        *result = close(fd) == 0 ? kWritten : Failure(errno, kCannotWrite);
        return true;
    }
    if (errno != EEXIST) {
        const int linkError = errno;
        close(fd);
        if (TechniqueUnavailable(linkError)) NamedTemporariesOnly = true;
        return false;
    }
    // The name exists: the whole file gets a temporary name of this run's
    // own, which one rename puts in place of the old file.
    char temporary[kPathSize];
    error = MakeTemporary(temporary, [&](const char* path) { return NameNameless(fd, self, path); });
    if (error != 0) {
        close(fd);
        *result = Failure(error, kCannotCreate);
        return true;
    }
    if (close(fd) != 0) {
        error = errno;
        RemoveCurrent();
        *result = Failure(error, kCannotWrite);
        return true;
    }
    *result = RenameTemporary(temporary, name);
    return true;
}
#endif

// The named way: the data goes to a temporary of this run's own, renamed
// over the name when complete.
WriteResult WriteThroughTemporary(const char* name, const std::uint8_t* data, std::int32_t size) {
    char temporary[kPathSize];
    int fd = -1;
    int error = MakeTemporary(temporary, [&](const char* path) {
        fd = openat(Folder, path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        return fd >= 0;
    });
    if (error != 0) return Failure(error, kCannotCreate);
    const bool written = WriteAll(fd, data, size, &error);
    if (close(fd) != 0 && written) error = errno;
    if (!written || error != 0) {
        RemoveCurrent();
        return Failure(error, kCannotWrite);
    }
    return RenameTemporary(temporary, name);
}

}  // namespace

void RemovePartialFilesOnInterrupt() {
    // A file-size limit makes a write fail with EFBIG, like a full disk,
    // instead of killing the run in the middle of it.
    std::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    sigemptyset(&action.sa_mask);
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE};
    for (int signal : signals) {
        struct sigaction old {};
        // A signal ignored by whoever started the run (nohup) stays ignored.
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

int SetOutputFolder(const char* path) {
    int fd = AT_FDCWD;
    if (path != nullptr && path[0] != '\0') {
        fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return errno;
    }
    const int previous = Folder;
    Folder = fd;
    if (previous != AT_FDCWD) close(previous);
    return 0;
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
#ifdef O_TMPFILE
    WriteResult result{};
    if (!NamedTemporariesOnly && WriteNameless(name, data, size, &result)) return result;
#endif
    return WriteThroughTemporary(name, data, size);
}

#endif

}  // namespace extract
