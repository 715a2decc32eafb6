// Reader for D88 floppy-disk images.
//
// A D88 file is a sequence of whole disks stored back to back, with no file
// header and no disk count: each disk starts with a 688-byte disk header whose
// size field says how far the next disk's header lies. Each track slot of a
// disk's track table points at a run of sector records, each a 16-byte record
// header followed by the sector's data.
//
// Disk header, offsets from the disk's first byte, little-endian:
//
//   0x000  16 bytes   disk name, not necessarily zero-terminated
//   0x010  10 bytes   reserved
//   0x01A   1 byte    write protect (0x00 writable, 0x10 protected)
//   0x01B   1 byte    media type (0x00 2D, 0x10 2DD, 0x20 2HD, ...)
//   0x01C   4 bytes   disk size: bytes from this header to the next disk's
//   0x020 164 x 4     track table: offset of each slot's first record,
//                     counted from this disk's first byte; 0 = no track
//   0x2B0             end of header (688 bytes)
//
// Sector record header, offsets from the record's first byte:
//
//   0x00   C, H, R, N  sector ID: cylinder, head, record, size code
//   0x04   2 bytes     number of records in this track (repeated in each)
//   0x06   1 byte      density (0x00 MFM, 0x40 FM)
//   0x07   1 byte      deleted-data mark (0x10)
//   0x08   1 byte      controller status
//   0x09   5 bytes     reserved
//   0x0E   2 bytes     data length: bytes of data following this header
//   0x10               data
//
// The reader never prints and never allocates: one D88Image holds the open
// file, the offsets of up to 64 disks, the selected disk's header and the
// record lists of the selected disk's tracks, one per distinct track-table
// offset, each built the first time a slot with that offset is read.
#ifndef D88_D88IMAGE_H
#define D88_D88IMAGE_H

#include <cstdint>
#include <cstdio>

namespace d88 {

constexpr std::int32_t kDiskHeaderSize = 688;
constexpr std::int32_t kSectorHeaderSize = 16;
constexpr std::int32_t kMaxDisks = 64;
constexpr std::int32_t kTrackSlots = 164;
constexpr std::int32_t kDiskNameSize = 16;

constexpr std::int32_t kDiskNameOffset = 0x00;
constexpr std::int32_t kWriteProtectOffset = 0x1A;
constexpr std::int32_t kMediaTypeOffset = 0x1B;
constexpr std::int32_t kDiskSizeOffset = 0x1C;
constexpr std::int32_t kTrackTableOffset = 0x20;

constexpr std::int32_t kRecordCOffset = 0x00;
constexpr std::int32_t kRecordHOffset = 0x01;
constexpr std::int32_t kRecordROffset = 0x02;
constexpr std::int32_t kRecordNOffset = 0x03;
constexpr std::int32_t kRecordCountOffset = 0x04;
constexpr std::int32_t kRecordDensityOffset = 0x06;
constexpr std::int32_t kRecordDeletedOffset = 0x07;
constexpr std::int32_t kRecordStatusOffset = 0x08;
constexpr std::int32_t kRecordLengthOffset = 0x0E;

// The largest size code whose sector length, 128 << N, is a positive signed
// 32-bit value.
constexpr std::int32_t kMaxSizeCode = 23;

// The most records a walk over one track visits. The sector count field
// would allow 65,535, but no real track holds more than a few hundred (a 2HD
// track has about 10,400 bytes; each sector needs its ID and data fields and
// the gaps between them). Without a bound, an image of a few megabytes whose
// tracks state thousands of empty records could make a run take hours.
constexpr std::int32_t kMaxTrackRecords = 1024;

// Sector ID as stored in a record header: cylinder, head, record, size code.
struct SectorId {
    std::uint8_t c;
    std::uint8_t h;
    std::uint8_t r;
    std::uint8_t n;
};

// Why the disk table ended where it did.
enum class TableEnd {
    FileEnd,      // fewer than 688 bytes where the next header would start
    MaxDisks,     // 64 disks found and another header is there: it is not read
    SmallSize,    // the last disk's size field is below one header
    OffsetLimit,  // the next disk would start past 2^31 - 1
};

// Where a file lies, to tell whether two names reach the same file: the
// device and inode on POSIX systems, the volume serial number and file index
// on Windows.
struct FileIdentity {
    std::uint64_t volume;
    std::uint64_t index;
};

// One record header as stored, and where its data lies in the file.
struct RecordHeader {
    SectorId id;
    std::uint16_t sectorCount;
    std::uint8_t density;
    std::uint8_t deleted;
    std::uint8_t status;
    std::uint16_t dataLength;
    std::int64_t dataPosition;
};

inline std::uint16_t ReadLe16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline std::uint32_t ReadLe32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) |
           (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

class D88Image {
public:
    D88Image();
    ~D88Image();
    D88Image(const D88Image&) = delete;
    D88Image& operator=(const D88Image&) = delete;

    // Opens `path` for binary reading and finds the disks it holds. A null
    // path only closes. Returns false when the file cannot be opened, or
    // cannot be positioned (a pipe). On Windows `path` is UTF-8, or, when it
    // is not valid UTF-8, in the system's code page.
    bool Open(const char* path);
    // Opens the `size` bytes at `data` as an image (a member of an archive,
    // read into memory): the same walk as over a file. The bytes must stay
    // in place until Close. Returns false for a null `data`.
    bool OpenMemory(const std::uint8_t* data, std::size_t size);
    bool Close();
    bool IsOpen() const { return file_ != nullptr || memory_ != nullptr; }
    // True after an Open that failed because the file, although it opened,
    // cannot be positioned.
    bool Unpositionable() const { return unpositionable_; }

    std::int32_t DiskCount() const { return diskCount_; }
    bool SelectDisk(std::int32_t index);
    std::int32_t CurrentDisk() const { return currentDisk_; }
    const char* DiskName() const { return diskName_; }
    std::int32_t MediaType() const { return mediaType_; }
    // The selected disk's write-protect byte, -1 when none is selected.
    std::int32_t WriteProtect() const { return writeProtect_; }
    // Size of the open image file in bytes, 0 when none is open.
    std::int64_t FileSize() const { return fileSize_; }

    // How the disk table ended, and the file offset where the walk stopped
    // looking: the next header's offset for FileEnd, MaxDisks and
    // OffsetLimit, the end of the last disk's header for SmallSize.
    TableEnd TableEndReason() const { return tableEnd_; }
    std::int64_t TableEndOffset() const { return tableEndOffset_; }
    // The identity of the open image file; false when none is open or the
    // system cannot tell.
    bool Identity(FileIdentity* out) const;

    // File offset of disk `index`'s header, -1 for an index outside the table.
    std::int64_t DiskOffset(std::int32_t index) const;
    // The selected disk's size field, 0 when none is selected.
    std::uint32_t DiskSize() const { return diskSize_; }
    // The selected disk's track-table entry for `slot`, 0 when out of range.
    std::uint32_t TrackEntry(std::int32_t slot) const;

    void SetSectorRange(std::int32_t first, std::int32_t last);

    // Copies at most `room` bytes of the data of the first record with ID
    // (c, h, r, n) in track slot `slot`; returns the bytes that arrived.
    std::int32_t ReadSector(std::int32_t slot, std::int32_t c, std::int32_t h,
                            std::int32_t r, std::int32_t n, std::uint8_t* dest,
                            std::int32_t room);

    // Moves `length` bytes of consecutive sectors, starting with (c, h, r, n)
    // in `slot`; returns the bytes of the whole pieces moved before the first
    // missing or short sector. When `partial` is given, it receives the bytes
    // that a short sector ending the run copied after those (0 when the run
    // is whole or its last sector is missing), so that the caller knows
    // which bytes of `dest` were written.
    std::int32_t ReadSectors(std::int32_t slot, std::int32_t c, std::int32_t h,
                             std::int32_t r, std::int32_t n, std::uint8_t* dest,
                             std::int32_t length, std::int32_t* partial = nullptr);

    // Writes the IDs of the records of `slot`, 4 bytes each, in storage order,
    // as many whole IDs as fit in `room` bytes; returns the bytes written.
    std::int32_t ReadSectorIds(std::int32_t slot, std::uint8_t* out,
                               std::int32_t room);

    // Copies the headers of the records a walk over `slot` visits, in
    // storage order, at most `room` of them; returns how many it copied.
    std::int32_t ReadRecordHeaders(std::int32_t slot, RecordHeader* out, std::int32_t room);

    // Copies up to `length` bytes from position `position` of the image
    // file; returns the bytes that arrived (for hashing the bytes as stored).
    std::int32_t ReadBytes(std::int64_t position, std::uint8_t* dest, std::int32_t length) {
        return ReadAt(position, dest, length);
    }

    // True when the walk over `slot` stopped at kMaxTrackRecords while the
    // track's records said more were to come.
    bool TrackCutAtBound(std::int32_t slot);

private:
    // Makes sure the record list of `slot` is built; false when the slot
    // holds no track that can be looked at.
    bool LoadTrack(std::int32_t slot);
    // Walks the track at disk offset `entry` and appends its records to the
    // record store as the list of `slot`.
    void BuildTrack(std::int32_t slot, std::uint32_t entry);
    bool SeekTo(std::int64_t position);
    // Finds the disks of the image just opened; false when it cannot be
    // read at all.
    bool FindDisks();
    // Copies up to `length` bytes from position `position` of the image;
    // returns the bytes that arrived.
    std::int32_t ReadAt(std::int64_t position, std::uint8_t* dest, std::int32_t length);
    // Reads the window's bytes from file position `position` on.
    // Reads the window's bytes from file position `position` on: `size`
    // bytes, at least kFillSize, at most the window.
    void FillWindow(std::int64_t position, std::int64_t size = kFillSize);
    // Copies `length` bytes from file position `position` through the
    // header window; returns the bytes that arrived.
    // When the window must move, it is filled with `ahead` bytes (the rest
    // of a run of sectors), or kFillSize if that is more.
    std::int32_t ReadThroughWindow(std::int64_t position, std::uint8_t* dest,
                                   std::int32_t length, std::int64_t ahead = 0);
    // ReadSector, with the bytes the caller will want next (see above).
    std::int32_t ReadSectorAhead(std::int32_t slot, std::int32_t c, std::int32_t h,
                                 std::int32_t r, std::int32_t n, std::uint8_t* dest,
                                 std::int32_t room, std::int64_t ahead);
    void ClearSelection();

    std::FILE* file_;
    const std::uint8_t* memory_;  // an image in memory, when file_ is null
    std::uint64_t memorySize_;
    std::int32_t currentDisk_;
    std::int32_t diskCount_;
    std::int32_t firstSector_;
    std::int32_t lastSector_;
    std::int64_t diskOffsets_[kMaxDisks];
    std::uint32_t diskSize_;
    std::int64_t diskOffset_;
    std::uint32_t trackTable_[kTrackSlots];
    std::int32_t mediaType_;
    std::int32_t writeProtect_;
    char diskName_[kDiskNameSize + 1];
    std::int64_t fileSize_;
    bool unpositionable_;

    // A window onto the image file for walking record headers: each header
    // needs 16 bytes and the walk skips the data between them, which through
    // the stream would cost a seek (a system call) per record.
    // A run of sectors is read in one piece when it fits (the largest file
    // of the programs' disks spans 255 records, about 135 KB); otherwise
    // 64 KiB at a time, which serves many small files in a row.
    static constexpr std::int32_t kWindowSize = 262144;
    static constexpr std::int32_t kFillSize = 65536;
    std::uint8_t window_[kWindowSize];
    std::int64_t windowStart_;
    std::int32_t windowLength_;

    TableEnd tableEnd_;
    std::int64_t tableEndOffset_;

    // The records a walk over each track of the selected disk visits, in
    // storage order: a list ends where the walk ends (a record stating 0
    // sectors, the record whose index is its own sector count - 1, the end
    // of the file, or kMaxTrackRecords). Each list is built once; slots whose
    // table entries hold the same offset share one list, so an image whose
    // slots all point at one long track costs one walk of it, not one per
    // slot change. There are at most 164 distinct offsets of at most 1,024
    // records each, so the store never runs out.
    struct TrackList {
        bool loaded;
        bool cutAtBound;
        std::int32_t start;  // index of the first record in records_
        std::int32_t count;
    };
    TrackList tracks_[kTrackSlots];
    std::int32_t recordsUsed_;
    RecordHeader records_[kTrackSlots * kMaxTrackRecords];
    // For each list, its records' IDs in order: the packed ID (C, H, R, N
    // from the high byte down) in the upper 32 bits, the record's index in
    // the list in the lower, so that a binary search finds the first record
    // in storage order that has an ID. A lookup then costs the same in a
    // track of 1,024 records as in one of nine.
    std::uint64_t byId_[kTrackSlots * kMaxTrackRecords];
};

}  // namespace d88

#endif
