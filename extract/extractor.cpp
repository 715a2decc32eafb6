#include "extractor.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "d88/d88image.h"
#include "escape.h"
#include "messages.h"
#include "file_name.h"
#include "output_file.h"
#include "standard_streams.h"

namespace extract {

void TextSink::Print(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    PrintList(format, args);
    va_end(args);
}

void FileSink::PrintList(const char* format, std::va_list args) {
    const int result = std::vfprintf(stream_, format, args);
    if (check_ != nullptr) check_->Note(result);
}

void FileSink::Flush() {
    const int result = std::fflush(stream_);
    if (check_ != nullptr) check_->Note(result);
}

namespace {

d88::D88Image Image;
std::uint8_t DirectoryBuffer[kDirectorySize];
std::uint8_t TransferBuffer[kTransferBufferSize];

struct Scan {
    const WalkSettings& settings;
    std::int32_t disk;
    WalkResult* result;
};

// Every warning starts here: listing lines printed before it go first, and
// it is counted.
TextSink& BeginWarning(const Scan& scan) {
    if (scan.settings.listing != nullptr) scan.settings.listing->Flush();
    scan.result->warnings++;
    return *scan.settings.warnings;
}

void WarnFileError(const Scan& scan, const char* entryName, const char* what, int error) {
    BeginWarning(scan).Print("%s: disk %d: %s: %s: %s\n", scan.settings.prefix, scan.disk,
                             QuotedName(entryName).text, what, std::strerror(error));
}

// The name as a listing line shows it.
struct ShownName {
    char text[kMaxNameWidth + 1];

    ShownName(const char* name, bool terminal) {
        std::size_t i = 0;
        for (; name[i] != '\0' && i < kMaxNameWidth; i++) {
            const auto byte = static_cast<unsigned char>(name[i]);
            text[i] = terminal && (byte < 0x20 || byte == 0x7F) ? '?' : name[i];
        }
        text[i] = '\0';
    }
};

// Reads offset + size bytes from sector (c, h, r, n) of `slot` on and writes
// the `size` bytes from `offset` to a file named after `entryName`. A run
// that brings nothing writes nothing and says nothing: the listing line has
// told the user. A run cut short is written whole, with zeros for the bytes
// that could not be read. Returns false when data was found but no file
// came of it.
bool ExtractFile(const Scan& scan, const char* entryName, std::int32_t slot, std::int32_t c,
                 std::int32_t h, std::int32_t r, std::int32_t n, std::int32_t offset,
                 std::int32_t size) {
    if (offset < 0 || size < 0 || offset > kTransferBufferSize - size) return true;
    const char* prefix = scan.settings.prefix;
    const std::int32_t length = offset + size;
    std::int32_t partial = 0;
    const std::int32_t got =
        Image.ReadSectors(slot, c, h, r, n, TransferBuffer, length, &partial);
    if (got == 0) {
        // No file, as for a missing sector; but a first sector that is there
        // and short is damage worth a word.
        if (partial > 0) {
            BeginWarning(scan).Print("%s: disk %d: %s: first sector short; not written\n", prefix,
                                     scan.disk, QuotedName(entryName).text);
        }
        return true;
    }
    // What the run did not bring is zeros, so that no byte of an earlier
    // file can show up in this one; a short sector's own bytes stay.
    const std::int32_t brought = got + partial;
    std::memset(TransferBuffer + brought, 0, static_cast<std::size_t>(length - brought));

    // The name is looked at only for an entry that has data: entries that
    // write nothing (the zero-filled tail of a directory, say) make no noise.
    char fileName[kFileNameSize];
    const NameResult named = MakeFileName(entryName, scan.settings.windowsNames, fileName);
    if (named == NameResult::Refused) {
        BeginWarning(scan).Print("%s: disk %d: %s: not usable as a file name; not written\n",
                                 prefix, scan.disk, QuotedName(entryName).text);
        return false;
    }
    if (named == NameResult::Changed) {
        BeginWarning(scan).Print("%s: disk %d: %s: written as %s\n", prefix, scan.disk,
                                 QuotedName(entryName).text, QuotedName(fileName).text);
    }
    if (got < length) {
        BeginWarning(scan).Print(
            "%s: disk %d: %s: sectors missing or short after %d of %d bytes;"
            " written with the missing bytes as zeros\n",
            prefix, scan.disk, QuotedName(entryName).text, got, length);
    }
    const WriteResult written = WriteOutputFile(fileName, TransferBuffer + offset, size);
    if (written.status == WriteStatus::IsImage) {
        BeginWarning(scan).Print("%s: disk %d: %s: is the image being read; not written\n",
                                 prefix, scan.disk, QuotedName(entryName).text);
        return false;
    }
    if (written.status == WriteStatus::Failed) {
        WarnFileError(scan, entryName, written.what, written.error);
        return false;
    }
    scan.result->filesWritten++;
    return true;
}

void ScanDirectory(const Scan& scan, const DirectoryLayout& layout, std::int32_t bytesRead) {
    const std::int32_t entries = EntriesWithin(layout, bytesRead);
    if (bytesRead < kDirectorySize) {
        BeginWarning(scan).Print(
            "%s: disk %d: only %d of %d bytes of the directory could be read;"
            " %d entries scanned\n",
            scan.settings.prefix, scan.disk, bytesRead, kDirectorySize, entries);
    }
    TextSink* listing = scan.settings.listing;
    ForEachEntry(layout, DirectoryBuffer, bytesRead,
                 [&](std::int32_t, EntryKind kind, const DirectoryEntry& entry) {
        const ShownName shown(entry.name, scan.settings.terminal);
        if (kind == EntryKind::Skip) {
            if (listing != nullptr) listing->Print("%s \t\tis skipped.\n", shown.text);
            return;
        }
        if (listing != nullptr) {
            listing->Print("%-12s  TRACK:%02x SECTOR:%02x SIZE:%04x\n", shown.text,
                           static_cast<unsigned>(entry.slot), static_cast<unsigned>(entry.sector),
                           static_cast<unsigned>(entry.size));
        }
        if (!ExtractFile(scan, entry.name, entry.slot, entry.cylinder, entry.head, entry.sector,
                         kSectorSizeCode, 0, entry.size)) {
            scan.result->notWritten++;
        }
    });
}

// After the last disk: a walk that stopped early while the file goes on
// says where it stopped. That is damage; it changes no exit status.
void WarnTableEnd(const Scan& scan) {
    const d88::TableEnd reason = Image.TableEndReason();
    const std::int64_t end = Image.TableEndOffset();
    if (reason != d88::TableEnd::SmallSize && reason != d88::TableEnd::OffsetLimit) return;
    if (end >= Image.FileSize()) return;
    const std::uint32_t size = Image.DiskSize();
    if (reason == d88::TableEnd::SmallSize) {
        BeginWarning(scan).Print(
            "%s: disk %d: size field %u is smaller than a disk header (688 bytes);"
            " nothing after offset %lld is read\n",
            scan.settings.prefix, scan.disk, size, static_cast<long long>(end));
    } else {
        BeginWarning(scan).Print(
            "%s: disk %d: size field %u puts the next disk past offset 2147483647;"
            " nothing after offset %lld is read\n",
            scan.settings.prefix, scan.disk, size, static_cast<long long>(end));
    }
}

// The programs read every disk with the layout they were built with.
class FixedLayout : public DiskPolicy {
public:
    explicit FixedLayout(const DirectoryLayout& layout) : layout_(layout) {}
    DiskChoice ChooseDisk(d88::D88Image&, std::int32_t) override { return {&layout_, nullptr}; }

private:
    const DirectoryLayout& layout_;
};

}  // namespace

d88::D88Image& WalkedImage() { return Image; }

WalkResult WalkImage(const WalkSettings& settings, DiskPolicy& policy) {
    WalkResult result{};
    // The image itself is never replaced by one of its entries' files.
    d88::FileIdentity identity{};
    if (Image.Identity(&identity)) ProtectFile(identity);

    result.disks = Image.DiskCount();
    for (std::int32_t disk = 0; disk < result.disks; disk++) {
        const Scan scan{settings, disk, &result};
        Image.SelectDisk(disk);
        const DiskChoice choice = policy.ChooseDisk(Image, disk);
        if (choice.warning != nullptr) {
            BeginWarning(scan).Print("%s: disk %d: %s\n", settings.prefix, disk, choice.warning);
        }
        if (choice.layout != nullptr) {
            if (settings.listing != nullptr && settings.heading != nullptr) {
                settings.listing->Print("== %s disk %d (%s)\n", settings.heading, disk,
                                        choice.layout->entrySize == 11 ? "d88ext8" : "d88ext6");
            }
            // Cleared for every disk: an earlier disk's directory must never
            // be scanned again for a disk whose own cannot be read.
            const std::int32_t got = ReadDirectoryArea(Image, DirectoryBuffer);
            ScanDirectory(scan, *choice.layout, got);
        }
        if (disk == result.disks - 1) WarnTableEnd(scan);
    }
    if (Image.TableEndReason() == d88::TableEnd::MaxDisks) {
        const Scan scan{settings, result.disks, &result};
        BeginWarning(scan).Print(
            "%s: the image holds more than %d disks; the %dth (offset %lld) and later are not"
            " read\n",
            settings.prefix, d88::kMaxDisks, d88::kMaxDisks + 1,
            static_cast<long long>(Image.TableEndOffset()));
        result.disksLeftOut = true;
    }
    return result;
}

int RunProgram(int argc, char** argv, const ProgramConfig& config, std::FILE* out,
               std::FILE* err) {
    if (argc != 2) {
        const char* self = argc > 0 && argv[0] != nullptr ? argv[0] : config.name;
        std::fprintf(err, "Usage: %s [d88file]\n", self);
        return 1;
    }
    if (!Image.Open(argv[1])) {
        std::fputs(kOpenFailure, err);
        if (Image.Unpositionable()) {
            std::fprintf(err,
                         "%s: %s: cannot be positioned (a pipe?); the image must be a file,"
                         " since it is read out of order\n",
                         config.name, argv[1]);
        }
        return 1;
    }
    OutputCheck outCheck(out);
    FileSink listing(out, &outCheck);
    FileSink warnings(err, nullptr);
    const WalkSettings settings{config.name, config.windowsNames, &listing,
                                &warnings,   IsTerminal(out),    nullptr};
    FixedLayout policy(config.layout);
    const WalkResult result = WalkImage(settings, policy);
    bool lost = result.disksLeftOut;
    if (const int error = outCheck.Finish(config.closeOutput)) {
        std::fprintf(err, "%s: standard output: write error: %s\n", config.name,
                     std::strerror(error));
        lost = true;
    }
    if (result.notWritten > 0) {
        std::fprintf(err, "%s: %d %s could not be written\n", config.name, result.notWritten,
                     result.notWritten == 1 ? "file" : "files");
        lost = true;
    }
    return lost ? 2 : 0;
}

}  // namespace extract
