#include "d88image.h"

#include <algorithm>
#include <climits>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace d88 {

namespace {

std::uint32_t PackedId(const SectorId& id) {
    return static_cast<std::uint32_t>(id.c) << 24 | static_cast<std::uint32_t>(id.h) << 16 |
           static_cast<std::uint32_t>(id.r) << 8 | id.n;
}

// Disk offsets are 32-bit signed file offsets: a disk header is never looked
// for past this.
constexpr std::int64_t kMaxDiskOffset = INT32_MAX;

// Track-table entries of 2^31 and above are treated as absent: as signed
// offsets they would point before the disk.
constexpr std::uint32_t kMaxTrackEntry = INT32_MAX;

// Windows reads a char path in the system's code page, which cannot name
// every file. Paths come as UTF-8 there (the programs convert their UTF-16
// command line); one that is not valid UTF-8 is taken as the C library
// takes it.
std::FILE* OpenForReading(const char* path) {
#ifdef _WIN32
    wchar_t wide[32768];
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, 32768) > 0) {
        return _wfopen(wide, L"rb");
    }
#endif
    return std::fopen(path, "rb");
}

}  // namespace

D88Image::D88Image()
    : file_(nullptr),
      memory_(nullptr),
      memorySize_(0),
      currentDisk_(-1),
      diskCount_(0),
      firstSector_(1),
      lastSector_(16),
      diskOffsets_(),
      diskSize_(0),
      diskOffset_(0),
      trackTable_(),
      mediaType_(-1),
      writeProtect_(-1),
      diskName_(),
      fileSize_(0),
      unpositionable_(false),
      window_(),
      windowStart_(0),
      windowLength_(0),
      tableEnd_(TableEnd::FileEnd),
      tableEndOffset_(0),
      tracks_(),
      recordsUsed_(0),
      records_(),
      byId_() {}

D88Image::~D88Image() { Close(); }

void D88Image::ClearSelection() {
    diskOffset_ = -1;
    currentDisk_ = -1;
    mediaType_ = -1;
    writeProtect_ = -1;
    diskSize_ = 0;
    std::memset(diskName_, 0, sizeof diskName_);
    std::memset(trackTable_, 0, sizeof trackTable_);
    std::memset(tracks_, 0, sizeof tracks_);
    recordsUsed_ = 0;
}

bool D88Image::Close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    memory_ = nullptr;
    memorySize_ = 0;
    windowLength_ = 0;
    fileSize_ = 0;
    diskCount_ = 0;
    tableEnd_ = TableEnd::FileEnd;
    tableEndOffset_ = 0;
    // Nothing of a closed image may serve a later read: the selection goes
    // with the file.
    ClearSelection();
    return true;
}

bool D88Image::SeekTo(std::int64_t position) {
    if (position < 0) return false;
    if (position <= LONG_MAX) return std::fseek(file_, static_cast<long>(position), SEEK_SET) == 0;
    // fseek takes a long, which is 32 bits wide on some platforms; positions
    // here reach past 2^31 (a disk offset plus a track offset), so the seek
    // goes in steps that each fit.
    if (std::fseek(file_, LONG_MAX, SEEK_SET) != 0) return false;
    position -= LONG_MAX;
    while (position > 0) {
        const std::int64_t step = position < LONG_MAX ? position : LONG_MAX;
        if (std::fseek(file_, static_cast<long>(step), SEEK_CUR) != 0) return false;
        position -= step;
    }
    return true;
}

std::int32_t D88Image::ReadAt(std::int64_t position, std::uint8_t* dest, std::int32_t length) {
    if (position < 0 || length <= 0) return 0;
    if (memory_ != nullptr) {
        if (static_cast<std::uint64_t>(position) >= memorySize_) return 0;
        const std::uint64_t left = memorySize_ - static_cast<std::uint64_t>(position);
        const std::int32_t got =
            left < static_cast<std::uint64_t>(length) ? static_cast<std::int32_t>(left) : length;
        std::memcpy(dest, memory_ + position, static_cast<std::size_t>(got));
        return got;
    }
    if (file_ == nullptr || !SeekTo(position)) return 0;
    return static_cast<std::int32_t>(std::fread(dest, 1, static_cast<std::size_t>(length), file_));
}

void D88Image::FillWindow(std::int64_t position, std::int64_t size) {
    const std::int64_t fill = size < kFillSize ? kFillSize : size > kWindowSize ? kWindowSize : size;
    windowStart_ = position;
    windowLength_ = ReadAt(position, window_, static_cast<std::int32_t>(fill));
}

std::int32_t D88Image::ReadThroughWindow(std::int64_t position, std::uint8_t* dest,
                                         std::int32_t length, std::int64_t ahead) {
    const bool inside = position >= windowStart_ &&
                        position - windowStart_ + length <= windowLength_;
    if (!inside) FillWindow(position, ahead > length ? ahead : length);
    const std::int64_t available = windowStart_ + windowLength_ - position;
    const std::int32_t got = available < length ? static_cast<std::int32_t>(available) : length;
    if (got <= 0) return 0;
    std::memcpy(dest, window_ + (position - windowStart_), static_cast<std::size_t>(got));
    return got;
}

bool D88Image::Open(const char* path) {
    if (path == nullptr) return Close();
    // A second Open replaces the first image entirely.
    Close();
    unpositionable_ = false;
    file_ = OpenForReading(path);
    if (file_ == nullptr) return false;
    // Reads go through the reader's own window, or straight into the
    // caller's buffer: a stream buffer would only copy them once more.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    // Disks, tracks and sectors are reached by position, in any order. A
    // pipe or a terminal cannot be positioned: read from the front, such an
    // image would look empty. It is refused instead.
    if (std::fseek(file_, 0, SEEK_END) != 0) {
        Close();
        unpositionable_ = true;
        return false;
    }
    const long end = std::ftell(file_);
    fileSize_ = end > 0 ? end : 0;
    if (!FindDisks()) {
        // A path that opens but cannot be read at all, a directory on POSIX
        // systems, is no image: reported as a failed open rather than as an
        // image without disks.
        Close();
        return false;
    }
    return true;
}

bool D88Image::OpenMemory(const std::uint8_t* data, std::size_t size) {
    Close();
    unpositionable_ = false;
    if (data == nullptr) return false;
    memory_ = data;
    memorySize_ = size;
    fileSize_ = static_cast<std::int64_t>(size);
    FindDisks();
    return true;
}

bool D88Image::FindDisks() {
    std::int64_t offset = 0;
    std::uint8_t header[kDiskHeaderSize];
    for (;;) {
        tableEndOffset_ = offset;
        if (ReadAt(offset, header, kDiskHeaderSize) != kDiskHeaderSize) {
            if (diskCount_ == 0 && file_ != nullptr && std::ferror(file_)) return false;
            break;
        }
        if (diskCount_ == kMaxDisks) {
            // The table holds 64 disks; a 65th header is there all the same.
            // It is not read, but the caller can say so.
            tableEnd_ = TableEnd::MaxDisks;
            break;
        }
        diskOffsets_[diskCount_] = offset;
        diskCount_++;
        const std::uint32_t size = ReadLe32(header + kDiskSizeOffset);
        // A size below one header would find the next header inside this
        // one (a size of 0 would find this disk again and again): the disk
        // counts, but nothing after it can be located.
        if (size < static_cast<std::uint32_t>(kDiskHeaderSize)) {
            tableEnd_ = TableEnd::SmallSize;
            tableEndOffset_ = offset + kDiskHeaderSize;
            break;
        }
        if (offset + size > kMaxDiskOffset) {
            tableEnd_ = TableEnd::OffsetLimit;
            tableEndOffset_ = offset + size;
            break;
        }
        offset += size;
    }
    return true;
}

bool D88Image::Identity(FileIdentity* out) const {
    // Bytes in memory are no file of the file system.
    if (file_ == nullptr) return false;
#ifdef _WIN32
    const intptr_t handle = _get_osfhandle(_fileno(file_));
    BY_HANDLE_FILE_INFORMATION information;
    if (handle == -1 ||
        !GetFileInformationByHandle(reinterpret_cast<HANDLE>(handle), &information)) {
        return false;
    }
    out->volume = information.dwVolumeSerialNumber;
    out->index = (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
                 information.nFileIndexLow;
#else
    struct stat information;
    if (fstat(fileno(file_), &information) != 0) return false;
    out->volume = static_cast<std::uint64_t>(information.st_dev);
    out->index = static_cast<std::uint64_t>(information.st_ino);
#endif
    return true;
}

std::int64_t D88Image::DiskOffset(std::int32_t index) const {
    if (index < 0 || index >= diskCount_) return -1;
    return diskOffsets_[index];
}

std::uint32_t D88Image::TrackEntry(std::int32_t slot) const {
    if (slot < 0 || slot >= kTrackSlots) return 0;
    return trackTable_[slot];
}

bool D88Image::SelectDisk(std::int32_t index) {
    if (!IsOpen()) return false;
    ClearSelection();
    if (index < 0 || index >= diskCount_) return false;

    std::uint8_t header[kDiskHeaderSize];
    if (ReadAt(diskOffsets_[index], header, kDiskHeaderSize) != kDiskHeaderSize) return false;
    diskOffset_ = diskOffsets_[index];
    for (std::int32_t slot = 0; slot < kTrackSlots; slot++) {
        trackTable_[slot] = ReadLe32(header + kTrackTableOffset + 4 * slot);
    }
    mediaType_ = header[kMediaTypeOffset];
    writeProtect_ = header[kWriteProtectOffset];
    diskSize_ = ReadLe32(header + kDiskSizeOffset);
    for (std::int32_t i = 0; i < kDiskNameSize; i++) {
        const std::uint8_t byte = header[kDiskNameOffset + i];
        if (byte == 0) break;
        diskName_[i] = static_cast<char>(byte);
    }
    currentDisk_ = index;
    return true;
}

void D88Image::SetSectorRange(std::int32_t first, std::int32_t last) {
    firstSector_ = first;
    lastSector_ = last;
}

bool D88Image::LoadTrack(std::int32_t slot) {
    if (!IsOpen() || currentDisk_ < 0) return false;
    if (slot < 0 || slot >= kTrackSlots) return false;
    const std::uint32_t entry = trackTable_[slot];
    // An entry equal to the disk size still counts as inside the disk.
    if (entry == 0 || entry > kMaxTrackEntry || entry > diskSize_) return false;
    if (tracks_[slot].loaded) return true;
    // Another slot of the same offset has the list already.
    for (std::int32_t other = 0; other < kTrackSlots; other++) {
        if (tracks_[other].loaded && trackTable_[other] == entry) {
            tracks_[slot] = tracks_[other];
            return true;
        }
    }
    BuildTrack(slot, entry);
    return true;
}

void D88Image::BuildTrack(std::int32_t slot, std::uint32_t entry) {
    TrackList& list = tracks_[slot];
    list.loaded = true;
    list.cutAtBound = false;
    list.start = recordsUsed_;
    list.count = 0;
    std::int64_t position = diskOffset_ + entry;
    // The walk reads each header and then, as files are read, the data
    // between them: started with the window near its end, it would move
    // the window on in mid-track and back again for the data. A track of
    // up to half a filling is walked and read within one.
    if (position < windowStart_ || position + kFillSize / 2 > windowStart_ + windowLength_) {
        FillWindow(position);
    }
    std::uint8_t header[kSectorHeaderSize];
    // The walk ends at a record stating 0 sectors (not listed), after the
    // record whose index is its own sector count - 1, or where the file ends.
    // Each record may state a different count; the one just read decides.
    for (std::int32_t i = 0;; i++) {
        if (ReadThroughWindow(position, header, kSectorHeaderSize) != kSectorHeaderSize) break;
        const std::uint16_t count = ReadLe16(header + kRecordCountOffset);
        if (count == 0) break;
        if (i == kMaxTrackRecords) {
            // A record is there that the track says belongs to it.
            list.cutAtBound = true;
            break;
        }
        const std::uint16_t length = ReadLe16(header + kRecordLengthOffset);
        position += kSectorHeaderSize;
        // Distinct offsets are at most 164, each list at most 1,024 long.
        RecordHeader& record = records_[recordsUsed_++];
        record.id = SectorId{header[kRecordCOffset], header[kRecordHOffset],
                             header[kRecordROffset], header[kRecordNOffset]};
        record.sectorCount = count;
        record.density = header[kRecordDensityOffset];
        record.deleted = header[kRecordDeletedOffset];
        record.status = header[kRecordStatusOffset];
        record.dataLength = length;
        record.dataPosition = position;
        list.count = i + 1;
        if (i == count - 1) break;
        position += length;
    }
    std::uint64_t* ids = byId_ + list.start;
    for (std::int32_t i = 0; i < list.count; i++) {
        ids[i] = static_cast<std::uint64_t>(PackedId(records_[list.start + i].id)) << 32 |
                 static_cast<std::uint32_t>(i);
    }
    std::sort(ids, ids + list.count);
}

bool D88Image::TrackCutAtBound(std::int32_t slot) {
    return LoadTrack(slot) && tracks_[slot].cutAtBound;
}

std::int32_t D88Image::ReadSector(std::int32_t slot, std::int32_t c,
                                  std::int32_t h, std::int32_t r,
                                  std::int32_t n, std::uint8_t* dest,
                                  std::int32_t room) {
    return ReadSectorAhead(slot, c, h, r, n, dest, room, 0);
}

std::int32_t D88Image::ReadSectorAhead(std::int32_t slot, std::int32_t c, std::int32_t h,
                                       std::int32_t r, std::int32_t n, std::uint8_t* dest,
                                       std::int32_t room, std::int64_t ahead) {
    if (room < 0 || !LoadTrack(slot)) return 0;
    // An ID byte holds 0 to 255: another value matches no record.
    for (const std::int32_t part : {c, h, r, n}) {
        if (part < 0 || part > 255) return 0;
    }
    const TrackList& list = tracks_[slot];
    const std::uint32_t wanted =
        PackedId(SectorId{static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(h),
                          static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(n)});
    const std::uint64_t* ids = byId_ + list.start;
    const std::uint64_t* found =
        std::lower_bound(ids, ids + list.count, static_cast<std::uint64_t>(wanted) << 32);
    if (found != ids + list.count && (*found >> 32) == wanted) {
        const auto index = static_cast<std::int32_t>(*found & 0xFFFFFFFFu);
        const RecordHeader& record = records_[list.start + index];
        const std::int32_t want = record.dataLength < room ? record.dataLength : room;
        // A record cut short by the end of the file yields what arrived.
        if (want <= kWindowSize) return ReadThroughWindow(record.dataPosition, dest, want, ahead);
        return ReadAt(record.dataPosition, dest, want);
    }
    return 0;
}

std::int32_t D88Image::ReadSectors(std::int32_t slot, std::int32_t c,
                                   std::int32_t h, std::int32_t r,
                                   std::int32_t n, std::uint8_t* dest,
                                   std::int32_t length, std::int32_t* partial) {
    if (partial != nullptr) *partial = 0;
    if (n < 0 || n > kMaxSizeCode || length < 0) return 0;
    const std::int32_t unit = 128 << n;
    std::int32_t total = 0;
    while (total < length) {
        const std::int32_t piece = length - total < unit ? length - total : unit;
        // The rest of the run, its record headers counted, is what the
        // window should hold when it has to move.
        const std::int64_t left = length - total;
        const std::int64_t ahead = left + (left / unit + 1) * kSectorHeaderSize;
        const std::int32_t got = ReadSectorAhead(slot, c, h, r, n, dest + total, piece, ahead);
        if (got < piece) {
            if (partial != nullptr) *partial = got;
            break;
        }
        total += piece;
        // A sector was found, so c, h and r are byte values and slot is a
        // valid slot: none of these steps can overflow.
        if (r == lastSector_) {
            slot++;
            if (h == 0) {
                h = 1;
            } else {
                h = 0;
                c++;
            }
            r = firstSector_;
        } else {
            r++;
        }
    }
    return total;
}

std::int32_t D88Image::ReadSectorIds(std::int32_t slot, std::uint8_t* out,
                                     std::int32_t room) {
    if (room < 0 || !LoadTrack(slot)) return 0;
    const TrackList& list = tracks_[slot];
    std::int32_t written = 0;
    for (std::int32_t i = 0; i < list.count && room - written >= 4; i++) {
        const SectorId& id = records_[list.start + i].id;
        out[written + 0] = id.c;
        out[written + 1] = id.h;
        out[written + 2] = id.r;
        out[written + 3] = id.n;
        written += 4;
    }
    return written;
}

std::int32_t D88Image::ReadRecordHeaders(std::int32_t slot, RecordHeader* out,
                                         std::int32_t room) {
    if (room < 0 || !LoadTrack(slot)) return 0;
    const TrackList& list = tracks_[slot];
    const std::int32_t count = list.count < room ? list.count : room;
    for (std::int32_t i = 0; i < count; i++) out[i] = records_[list.start + i];
    return count;
}

}  // namespace d88
