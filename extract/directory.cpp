#include "directory.h"

#include <cstring>

namespace extract {

EntryKind DecodeEntry(const DirectoryLayout& layout, const std::uint8_t* entry,
                      DirectoryEntry* out) {
    if (layout.zeroFirstBytePassesOver && entry[0] == 0x00) return EntryKind::PassOver;
    if (entry[0] == 0xFF) return EntryKind::End;
    if (layout.twoSpacesEndDirectory && entry[0] == 0x20 && entry[1] == 0x20) {
        return EntryKind::End;
    }

    std::memset(out->name, 0, sizeof out->name);
    for (std::int32_t i = 0; i < layout.nameWidth && entry[i] != 0x20; i++) {
        out->name[i] = static_cast<char>(entry[i]);
    }
    // From here on the name is a C string: a 0x00 copied from the field ends
    // it, for the comparison below as for the lines and the file name.
    if (std::strncmp(out->name, "COM", 3) == 0) return EntryKind::Skip;

    out->firstSector = d88::ReadLe16(entry + layout.firstSectorField);
    out->sectorCount = entry[layout.sectorCountField];
    out->size = out->sectorCount * kSectorSize;
    out->slot = out->firstSector / kSectorsPerTrack;
    out->sector = out->firstSector % kSectorsPerTrack + 1;
    out->cylinder = out->slot / 2;
    out->head = out->slot % 2;
    return EntryKind::Extract;
}

std::int32_t ReadDirectoryArea(d88::D88Image& image, std::uint8_t (&buffer)[kDirectorySize]) {
    image.SetSectorRange(1, kSectorsPerTrack);
    std::memset(buffer, 0, sizeof buffer);
    return image.ReadSectors(0, 0, 0, 2, kSectorSizeCode, buffer, kDirectorySize);
}

std::int32_t EntriesWithin(const DirectoryLayout& layout, std::int32_t bytesRead) {
    if (bytesRead < 1) return 0;
    const std::int32_t whole = (bytesRead - 1) / layout.entrySize;
    return whole < layout.entryCount ? whole : layout.entryCount;
}

}  // namespace extract
