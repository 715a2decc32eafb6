// Directory entries of the disks the programs read.
//
// The directory area is the 2,560 bytes of sectors 2 to 6 of track slot 0.
// Byte 0 belongs to no entry; entry i starts at byte 1 + i * entry size.
//
//   11-byte entries (d88ext8)          9-byte entries (d88ext6)
//   0-7   name, space padded           0-5   name, space padded
//   8-9   first logical sector, LE     6-7   first logical sector, LE
//   10    sector count                 8     sector count
//
// Both: first byte 0xFF ends the directory. 11-byte entries: two leading
// spaces end it as well. 9-byte entries: a first byte of 0x00 marks an
// unused entry, passed over without a line.
//
// A file is a run of consecutive 512-byte logical sectors, 9 to a track
// slot, slots numbered 2 * cylinder + head.
#ifndef EXTRACT_DIRECTORY_H
#define EXTRACT_DIRECTORY_H

#include <cstdint>

#include "d88/d88image.h"

namespace extract {

constexpr std::int32_t kDirectorySize = 2560;
constexpr std::int32_t kSectorsPerTrack = 9;
constexpr std::int32_t kSectorSize = 512;
constexpr std::int32_t kSectorSizeCode = 2;
constexpr std::int32_t kMaxNameWidth = 8;

struct DirectoryLayout {
    std::int32_t entrySize;
    std::int32_t entryCount;
    std::int32_t nameWidth;
    std::int32_t firstSectorField;
    std::int32_t sectorCountField;
    bool zeroFirstBytePassesOver;
    bool twoSpacesEndDirectory;
};

// 232 entries of 11 bytes cover bytes 1 to 2,552; 284 of 9 bytes cover 1 to
// 2,556. The bytes after the last entry are never looked at.
inline constexpr DirectoryLayout Layout11{11, 232, 8, 8, 10, false, true};
inline constexpr DirectoryLayout Layout9{9, 284, 6, 6, 8, true, false};

enum class EntryKind {
    End,       // end of this disk's directory
    PassOver,  // unused entry: no line at all
    Skip,      // name begins with "COM": a skip line, no file
    Extract,   // a listing line, then the file
};

struct DirectoryEntry {
    // The name up to the first space or the end of the field. A 0x00 byte
    // in the field ends it early; it may be empty.
    char name[kMaxNameWidth + 1];
    std::uint16_t firstSector;
    std::uint8_t sectorCount;
    std::int32_t size;  // sectorCount * 512
    std::int32_t slot;  // firstSector / 9, up to 7,281
    std::int32_t cylinder;
    std::int32_t head;
    std::int32_t sector;  // 1 to 9
};

// Decodes the entry whose first byte is `entry`; `entry` must hold
// layout.entrySize bytes. `out` is filled for Skip and Extract.
EntryKind DecodeEntry(const DirectoryLayout& layout, const std::uint8_t* entry,
                      DirectoryEntry* out);

// Reads the selected disk's directory area (sectors 2 to 6 of slot 0) into
// `buffer`, cleared first so that nothing of an earlier disk remains; sets
// the sector range the programs read with (1 to 9). Returns the bytes read.
std::int32_t ReadDirectoryArea(d88::D88Image& image, std::uint8_t (&buffer)[kDirectorySize]);

// How many entries of `layout` lie wholly within the first `bytesRead`
// bytes of the directory area.
std::int32_t EntriesWithin(const DirectoryLayout& layout, std::int32_t bytesRead);

// Calls visit(index, kind, entry) for each entry of `layout` wholly within
// the first `bytesRead` bytes of `area`, in order, up to the end of the
// directory; unused entries are passed over without a call.
template <typename Visit>
void ForEachEntry(const DirectoryLayout& layout, const std::uint8_t* area, std::int32_t bytesRead,
                  Visit visit) {
    const std::int32_t entries = EntriesWithin(layout, bytesRead);
    for (std::int32_t i = 0; i < entries; i++) {
        DirectoryEntry entry;
        const EntryKind kind = DecodeEntry(layout, area + 1 + i * layout.entrySize, &entry);
        if (kind == EntryKind::End) return;
        if (kind == EntryKind::PassOver) continue;
        visit(i, kind, entry);
    }
}

}  // namespace extract

#endif
