// Builds D88 images in memory for tests, so that each test shows the bytes
// that matter: start from a valid disk, then change one thing.
//
// Every field of the container can be set: each record's ID, sector count,
// stated data length, the three status bytes and its data; the order of
// records in a track; each track-table entry; the disk size field; data cut
// short by the end of the file, and trailing bytes after the last disk.
#ifndef TESTS_IMAGE_BUILDER_H
#define TESTS_IMAGE_BUILDER_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testimg {

using Bytes = std::vector<std::uint8_t>;

struct Record {
    std::uint8_t c = 0;
    std::uint8_t h = 0;
    std::uint8_t r = 1;
    std::uint8_t n = 2;
    // The sector count stored in this record's header; when unset, the number
    // of records in the track.
    std::optional<std::uint16_t> count;
    // The data length stored in the header; when unset, data.size().
    std::optional<std::uint16_t> length;
    std::uint8_t density = 0x00;
    std::uint8_t deleted = 0x00;
    std::uint8_t status = 0x00;
    Bytes data;
};

struct Track {
    std::vector<Record> records;
};

struct Disk {
    std::string name;  // up to 16 bytes; stored zero-padded
    std::uint8_t writeProtect = 0x00;
    std::uint8_t media = 0x00;
    // Tracks by slot; each is stored after the header in slot order.
    std::map<int, Track> tracks;
    // Track-table entries to store instead of the real offsets.
    std::map<int, std::uint32_t> tableOverride;
    // Size field to store instead of the real size.
    std::optional<std::uint32_t> sizeOverride;
};

// The data of logical sector `lsn` on a standard disk: every byte tells
// where it came from (the sector number in its first two bytes, then a
// pattern that differs from sector to sector and from byte to byte).
Bytes SectorData(int lsn, int length = 512);

// A disk of the kind the programs read: `slots` track slots, 9 records of
// 512 bytes each (R 1 to 9, N 2), C = slot / 2, H = slot % 2, records in
// order; data from SectorData.
Disk StandardDisk(int slots = 4, const std::string& name = "TEST DISK");

// Returns the record with ID R = `r` in `slot`; the track must exist.
Record& RecordAt(Disk& disk, int slot, int r);

// Removes the record with R = `r` from `slot` and fixes the sector counts of
// the records that remain.
void RemoveRecord(Disk& disk, int slot, int r);

// A directory entry in one of the two layouts, stored at 1 + i * size of the
// 2,560-byte directory area that starts at sector 2 of slot 0.
struct Entry {
    std::string name;  // padded with spaces to the layout's name width
    std::uint16_t lsn = 0;
    std::uint8_t sectors = 0;
};

// Raw bytes of one entry in the 11-byte (name 8) or 9-byte (name 6) layout.
Bytes EntryBytes(int entrySize, const Entry& entry);

// Writes `raw` into the directory area at `offset` (0 to 2,559) of a
// standard disk; the bytes cross from sector to sector as on the disk.
void PutDirectoryBytes(Disk& disk, int offset, const Bytes& raw);

// Writes entries 0, 1, ... in the given layout, then `end` bytes (0xFF for
// an end marker) when `end` is not empty. The rest of the area is filled
// with `fill` first.
void WriteDirectory(Disk& disk, int entrySize, const std::vector<Entry>& entries,
                    const Bytes& end = {0xFF}, std::uint8_t fill = 0xFF);

// Writes `data` into the logical sectors starting at `lsn` of a standard
// disk, 512 bytes a sector.
void PutFileData(Disk& disk, int lsn, const Bytes& data);

Bytes BuildDisk(const Disk& disk);
Bytes BuildImage(const std::vector<Disk>& disks);

// Writes bytes to a file; returns false when that fails.
bool WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

}  // namespace testimg

#endif
