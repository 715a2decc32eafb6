// What d88info finds in an image: each disk's facts, each anomaly, each
// track's sector IDs and, on request, the directory read with the
// extractors' own rules. Findings go to a Report as they are made; nothing
// is stored, so the program needs no memory beyond fixed buffers.
#ifndef INFO_INSPECT_H
#define INFO_INSPECT_H

#include <cstdint>
#include <memory>
#include <string>

#include "d88/d88image.h"
#include "extract/directory.h"
#include "extract/file_name.h"

namespace info {

// Digests of some bytes, in lower-case hexadecimal (CRC32 as 8 digits).
struct DigestSet {
    std::string crc32;
    std::string md5;
    std::string sha1;
    std::string sha256;
};

// Computes digests of the bytes fed to it. Made by the program, from a
// maintained library: the inspection itself holds no digest code.
class Digester {
public:
    virtual ~Digester() = default;
    virtual void Update(const std::uint8_t* data, std::size_t size) = 0;
    // All four, or, for a digester made with sha1Only, the SHA-1 alone.
    virtual DigestSet Finish() = 0;
};
using DigesterMaker = std::unique_ptr<Digester> (*)(bool sha1Only);

struct DiskFacts {
    std::int32_t index;
    std::int64_t offset;
    const char* name;
    std::int32_t media;
    std::int32_t writeProtect;
    std::uint32_t sizeField;
    std::int64_t bytesPresent;  // of the size field's bytes, those in the file
    std::int32_t tracks;        // track slots whose table entry is not 0
    std::int32_t sectorsPerTrack;  // the count most tracks share; 0 if none
    std::int32_t sectorSize;       // the sector size most records share
    // With hashes: the disk's bytes as stored (from its header to its size
    // field, those present), and data_sha1, over its sector records alone.
    const DigestSet* hashes;
    const std::string* dataSha1;
};

enum class AnomalyKind {
    DiskSize,        // size field below a header, or past the end of the file
    TrackPastDisk,   // track-table entry past the disk's size field
    TrackPastFile,   // track-table entry past the end of the file
    EmptyTrack,      // no record can be read at the entry
    CountsDisagree,  // records of one track state different sector counts
    WrongId,         // C or H differ from what the slot implies
    SizeCode,        // N differs from the size code most sectors have
    DuplicateId,     // one ID on several records of a track
    MissingSector,   // a sector 1-9 missing from a track of a 9-sector disk
    ShortData,       // data shorter than the size code says
    CutByFile,       // data cut by the end of the file
    Status,          // non-zero controller status
    Deleted,         // deleted-data mark
    TooManyRecords,  // the walk stopped at its bound
    TooManyDisks,    // a 65th disk is there; it and later ones are not read
};

const char* AnomalyName(AnomalyKind kind);

// Anomalies of one kind on one track are told once: `count` occurrences,
// the IDs of the first three records concerned, and a text that speaks of
// them all. A crafted image whose slots all point at one long track would
// otherwise give millions of lines.
constexpr std::int32_t kShownIds = 3;

struct Anomaly {
    AnomalyKind kind;
    std::int32_t slot;  // -1 for the disk as a whole
    std::int32_t cylinder;
    std::int32_t head;
    std::int32_t sector;  // -1 when no single sector is meant
    std::int32_t count;   // occurrences this line stands for, 1 or more
    std::int32_t idCount;  // IDs in `ids`, at most kShownIds
    d88::SectorId ids[kShownIds];
    char text[160];
};

enum class Prediction { Ok, Short, Missing, Skipped };

struct DirectoryLine {
    std::int32_t index;
    const extract::DirectoryEntry* entry;
    Prediction prediction;
    std::int32_t bytesRead;
    extract::NameResult naming;
    const char* fileName;  // what the extractor writes, when it writes
    // With hashes, for an entry with data: of the bytes the extractor
    // writes (zeros where sectors are missing).
    const DigestSet* hashes;
};

// What one directory layout makes of a disk's directory area, to tell which
// program the disk is for. Blank entries (an empty name and no sectors, as
// in a directory area filled with zero bytes) are not counted.
struct LayoutEvidence {
    std::int32_t entries;          // entries before the end, skipped ones included
    std::int32_t unreadableNames;  // empty, or with bytes that are not Shift_JIS text
    std::int32_t skipped;          // readable names beginning with COM
    std::int32_t filesFound;       // readable names whose first sector is found
    std::int32_t filesWhole;       // of those, the ones found whole
};

enum class FitVerdict { Ext8, Ext6, Either, Neither };
const char* FitName(FitVerdict verdict);

// The scoring rule. A layout's score counts the entries with a readable name
// that are either skipped or whose data is found (whole or short). A layout
// reads well when its score is above 0 and at least half of its entries
// have readable names. One layout reads well: the disk fits its program.
// Both: the higher score, `either` when they are equal. Neither: `either`
// when neither layout finds any entry (an empty directory), else `neither`.
// A directory area from which not one entry can be read fits `neither`.
FitVerdict JudgeFit(std::int32_t bytesRead, const LayoutEvidence& ext8,
                    const LayoutEvidence& ext6);

struct FitFacts {
    std::int32_t bytesRead;  // of the 2,560-byte directory area
    LayoutEvidence ext8;     // 11-byte entries
    LayoutEvidence ext6;     // 9-byte entries
    FitVerdict verdict;
};

// Reads the selected disk's directory both ways and judges which layout it
// fits. Without `wholeFiles` only each file's first sector is read, which is
// all the verdict needs (filesWhole is then 0).
FitFacts JudgeDisk(d88::D88Image& image, bool wholeFiles);

class Report {
public:
    virtual ~Report() = default;
    // Called first, for a file that does not look like a D88 image.
    virtual void NotD88(const char* reason) { static_cast<void>(reason); }
    // `hashes`: of the whole image file, or null.
    virtual void BeginImage(const char* path, std::int64_t fileSize, const DigestSet* hashes) = 0;
    virtual void BeginDisk(const DiskFacts& facts) = 0;
    virtual void Found(const Anomaly& anomaly) = 0;
    virtual void BeginTracks() = 0;
    virtual void Track(std::int32_t slot, const d88::RecordHeader* records, std::int32_t count) = 0;
    virtual void Fit(const FitFacts& fit) = 0;
    virtual void BeginDirectory(std::int32_t entrySize, std::int32_t bytesRead,
                                std::int32_t entries) = 0;
    virtual void Entry(const DirectoryLine& line) = 0;
    virtual void EndDisk() = 0;
    virtual void EndImage(std::int32_t anomalies) = 0;
};

struct Options {
    bool tracks = false;
    const extract::DirectoryLayout* directory = nullptr;
    bool windowsNames = extract::kWindowsNames;
    // When set, hashes of the image, each disk and (with a directory) each
    // file are computed with what it makes.
    DigesterMaker digests = nullptr;
};

// Walks every disk of the open `image` and reports on it, starting with
// BeginImage(path, ...); returns the number of anomalies found.
std::int32_t Inspect(d88::D88Image& image, const char* path, const Options& options,
                     Report& report);

// Why the open image does not look like a D88 image, or null when it does:
// it does when the first disk's size field is at least 688 and at most the
// file's size, its media byte is one a D88 disk has (0x00, 0x10, 0x20,
// 0x30, 0x40), and some track slot leads to a readable sector record. A PNG,
// a text file or zeros are then called out instead of read as empty disks.
const char* NotD88Reason(d88::D88Image& image);

// The track slots a disk's table has room for: those before the lowest
// non-zero entry (among the slots before it), which is where the table and
// the header end. A 688-byte header gives all 164; one of 672 bytes, which
// some tools write, 160.
std::int32_t TableSlots(const d88::D88Image& image);

}  // namespace info

#endif
