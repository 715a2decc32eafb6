#include "extractor.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "d88/d88image.h"
#include "escape.h"
#include "messages.h"
#include "file_name.h"

namespace extract {

namespace {

// A file is first written under this name and then renamed to its own, so
// that an existing file of that name is replaced whole and a symbolic link of
// that name is replaced, never written through. Entry names have at most 8
// bytes, so none can be this name.
constexpr char kPartialName[] = ".d88ext-partial";

d88::D88Image Image;
std::uint8_t DirectoryBuffer[kDirectorySize];
std::uint8_t TransferBuffer[kTransferBufferSize];

struct Scan {
    const ProgramConfig& config;
    std::int32_t disk;
    std::FILE* out;
    std::FILE* err;
};

// Warnings go after every listing line printed before them, also when both
// streams are sent to one file.
void BeginWarning(const Scan& scan) { std::fflush(scan.out); }

void WarnFileError(const Scan& scan, const char* entryName, const char* what, int error) {
    BeginWarning(scan);
    std::fprintf(scan.err, "%s: disk %d: %s: %s: %s\n", scan.config.name, scan.disk,
                 QuotedName(entryName).text, what, std::strerror(error));
}

// Writes `size` bytes of `data` to the file `fileName`, replacing whatever
// had that name. Returns 0 or the errno of the step that failed, with `what`
// naming it.
int WriteReplacing(const char* fileName, const std::uint8_t* data, std::int32_t size,
                   const char** what) {
    std::remove(kPartialName);
    *what = "cannot create the file";
#ifdef _WIN32
    std::FILE* out = std::fopen(kPartialName, "wb");
#else
    // "x": never open an existing file or follow a link of this name.
    std::FILE* out = std::fopen(kPartialName, "wbx");
#endif
    if (out == nullptr) return errno != 0 ? errno : EIO;
    // The file goes out in one write: a stream buffer would only be a copy.
    std::setvbuf(out, nullptr, _IONBF, 0);
    const auto length = static_cast<std::size_t>(size);
    bool written = std::fwrite(data, 1, length, out) == length;
    int error = written ? 0 : (errno != 0 ? errno : EIO);
    if (std::fclose(out) != 0 && written) {
        written = false;
        error = errno != 0 ? errno : EIO;
    }
    if (!written) {
        std::remove(kPartialName);
        *what = "cannot write the file";
        return error;
    }
#ifdef _WIN32
    // Windows' rename does not replace an existing file.
    std::remove(fileName);
#endif
    errno = 0;
    if (std::rename(kPartialName, fileName) != 0) {
        error = errno != 0 ? errno : EIO;
        std::remove(kPartialName);
        return error;
    }
    return 0;
}

// Reads offset + size bytes from sector (c, h, r, n) of `slot` on and writes
// the `size` bytes from `offset` to the file `fileName`. A run that brings
// nothing writes nothing; a run cut short is written whole, with zeros for
// the bytes that could not be read.
bool ExtractFile(const Scan& scan, const char* entryName, const char* fileName,
                 std::int32_t slot, std::int32_t c, std::int32_t h, std::int32_t r,
                 std::int32_t n, std::int32_t offset, std::int32_t size) {
    if (offset < 0 || size < 0 || offset > kTransferBufferSize - size) return false;
    const std::int32_t length = offset + size;
    // Cleared first, so that no byte of an earlier file can show up in this
    // one where sectors are missing.
    std::memset(TransferBuffer, 0, static_cast<std::size_t>(length));
    const std::int32_t got = Image.ReadSectors(slot, c, h, r, n, TransferBuffer, length);
    if (got == 0) return false;
    if (got < length) {
        BeginWarning(scan);
        std::fprintf(scan.err,
                     "%s: disk %d: %s: sectors missing or short after %d of %d bytes;"
                     " written with the missing bytes as zeros\n",
                     scan.config.name, scan.disk, QuotedName(entryName).text, got, length);
    }
    errno = 0;
    const char* what = "";
    const int error = WriteReplacing(fileName, TransferBuffer + offset, size, &what);
    if (error != 0) {
        WarnFileError(scan, entryName, what, error);
        return false;
    }
    return true;
}

void ScanDirectory(const Scan& scan, std::int32_t bytesRead) {
    const DirectoryLayout& layout = scan.config.layout;
    const std::int32_t entries = EntriesWithin(layout, bytesRead);
    if (bytesRead < kDirectorySize) {
        BeginWarning(scan);
        std::fprintf(scan.err,
                     "%s: disk %d: only %d of %d bytes of the directory could be read;"
                     " %d entries scanned\n",
                     scan.config.name, scan.disk, bytesRead, kDirectorySize, entries);
    }
    for (std::int32_t i = 0; i < entries; i++) {
        DirectoryEntry entry;
        const EntryKind kind =
            DecodeEntry(layout, DirectoryBuffer + 1 + i * layout.entrySize, &entry);
        if (kind == EntryKind::End) break;
        if (kind == EntryKind::PassOver) continue;
        if (kind == EntryKind::Skip) {
            std::fprintf(scan.out, "%s \t\tis skipped.\n", entry.name);
            continue;
        }
        std::fprintf(scan.out, "%-12s  TRACK:%02x SECTOR:%02x SIZE:%04x\n", entry.name,
                    static_cast<unsigned>(entry.slot), static_cast<unsigned>(entry.sector),
                    static_cast<unsigned>(entry.size));

        char fileName[kFileNameSize];
        const NameResult named = MakeFileName(entry.name, scan.config.windowsNames, fileName);
        if (named == NameResult::Refused) {
            BeginWarning(scan);
            std::fprintf(scan.err, "%s: disk %d: %s: not usable as a file name; not written\n",
                         scan.config.name, scan.disk, QuotedName(entry.name).text);
            continue;
        }
        if (named == NameResult::Changed) {
            BeginWarning(scan);
            std::fprintf(scan.err, "%s: disk %d: %s: written as %s\n", scan.config.name,
                         scan.disk, QuotedName(entry.name).text, QuotedName(fileName).text);
        }
        ExtractFile(scan, entry.name, fileName, entry.slot, entry.cylinder, entry.head,
                    entry.sector, kSectorSizeCode, 0, entry.size);
    }
}

}  // namespace

int RunProgram(int argc, char** argv, const ProgramConfig& config, std::FILE* out,
               std::FILE* err) {
    if (argc != 2) {
        const char* self = argc > 0 && argv[0] != nullptr ? argv[0] : config.name;
        std::fprintf(err, "Usage: %s [d88file]\n", self);
        return 1;
    }
    if (!Image.Open(argv[1])) {
        std::fputs(kOpenFailure, err);
        return 1;
    }
    const std::int32_t disks = Image.DiskCount();
    for (std::int32_t disk = 0; disk < disks; disk++) {
        Image.SelectDisk(disk);
        // Cleared for every disk: an earlier disk's directory must never be
        // scanned again for a disk whose own cannot be read.
        const std::int32_t got = ReadDirectoryArea(Image, DirectoryBuffer);
        ScanDirectory(Scan{config, disk, out, err}, got);
    }
    std::fflush(out);
    return 0;
}

}  // namespace extract
