#include "inspect.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "shift_jis.h"

namespace info {

namespace {

using d88::RecordHeader;

RecordHeader Records[d88::kMaxTrackRecords];
std::uint32_t SortedIds[d88::kMaxTrackRecords];
std::uint8_t DirectoryBuffer[extract::kDirectorySize];
// The largest file an entry can describe: 255 sectors of 512 bytes.
std::uint8_t FileBuffer[255 * extract::kSectorSize];

// Size codes above 7 (16 KiB sectors) do not occur on floppy disks; they are
// reported as they are but not turned into a length.
constexpr std::int32_t kMaxRealSizeCode = 7;

class Finder {
public:
    explicit Finder(Report& report) : report_(report) {}

    std::int32_t count() const { return count_; }

    // One anomaly, told as it is found.
    void operator()(AnomalyKind kind, std::int32_t slot, std::int32_t sector, const char* format,
                    ...) {
        Anomaly anomaly = Start(kind, slot, sector);
        std::va_list args;
        va_start(args, format);
        std::vsnprintf(anomaly.text, sizeof anomaly.text, format, args);
        va_end(args);
        Tell(anomaly);
    }

    static Anomaly Start(AnomalyKind kind, std::int32_t slot, std::int32_t sector) {
        Anomaly anomaly{};
        anomaly.kind = kind;
        anomaly.slot = slot;
        anomaly.cylinder = slot >= 0 ? slot / 2 : -1;
        anomaly.head = slot >= 0 ? slot % 2 : -1;
        anomaly.sector = sector;
        anomaly.count = 1;
        return anomaly;
    }

    void Tell(const Anomaly& anomaly) {
        report_.Found(anomaly);
        count_ += anomaly.count;
    }

private:
    Report& report_;
    std::int32_t count_ = 0;
};

// The anomalies of the records of one track, gathered by kind and told
// once per kind when the track is done, in the order each kind first
// appeared: one occurrence as it is, more as one line that counts them.
class TrackFindings {
public:
    TrackFindings(Finder& find, std::int32_t slot, std::int32_t commonCode)
        : find_(find), slot_(slot), commonCode_(commonCode) {}

    void Add(AnomalyKind kind, const d88::SectorId& id, const char* format, ...) {
        Group* group = nullptr;
        for (std::int32_t i = 0; i < used_ && group == nullptr; i++) {
            if (groups_[i].first.kind == kind) group = &groups_[i];
        }
        if (group == nullptr) {
            group = &groups_[used_++];
            group->first = Finder::Start(kind, slot_, id.r);
            group->first.idCount = 1;
            group->first.ids[0] = id;
            std::va_list args;
            va_start(args, format);
            std::vsnprintf(group->first.text, sizeof group->first.text, format, args);
            va_end(args);
            group->count = 0;
        }
        if (group->count < kShownIds) group->ids[group->count] = id;
        group->count++;
    }

    void Tell() {
        for (std::int32_t i = 0; i < used_; i++) {
            const Group& group = groups_[i];
            if (group.count == 1) {
                find_.Tell(group.first);
                continue;
            }
            Anomaly anomaly = Finder::Start(group.first.kind, slot_, -1);
            anomaly.count = group.count;
            anomaly.idCount = group.count < kShownIds ? group.count : kShownIds;
            for (std::int32_t k = 0; k < anomaly.idCount; k++) anomaly.ids[k] = group.ids[k];
            GroupText(anomaly);
            find_.Tell(anomaly);
        }
        used_ = 0;
    }

private:
    struct Group {
        Anomaly first;
        std::int32_t count;
        d88::SectorId ids[kShownIds];
    };

    // What the records of a group have in common, said of them all.
    void GroupText(Anomaly& a) const {
        const std::size_t size = sizeof a.text;
        switch (a.kind) {
            case AnomalyKind::WrongId:
                std::snprintf(a.text, size, "have IDs whose C/H differ from the slot's C%d H%d",
                              a.cylinder, a.head);
                break;
            case AnomalyKind::SizeCode:
                std::snprintf(a.text, size, "have a size code other than the %d most sectors have",
                              commonCode_);
                break;
            case AnomalyKind::ShortData:
                std::snprintf(a.text, size, "hold fewer bytes than their size code says");
                break;
            case AnomalyKind::CutByFile:
                std::snprintf(a.text, size, "are cut by the end of the file");
                break;
            case AnomalyKind::Status:
                std::snprintf(a.text, size, "have a non-zero controller status");
                break;
            case AnomalyKind::Deleted:
                std::snprintf(a.text, size, "carry the deleted-data mark");
                break;
            case AnomalyKind::DuplicateId:
                std::snprintf(a.text, size, "repeat the ID of an earlier record; the first is used");
                break;
            default:
                std::snprintf(a.text, size, "%s", AnomalyName(a.kind));
                break;
        }
    }

    Finder& find_;
    std::int32_t slot_;
    std::int32_t commonCode_;
    // One group per kind a record can have.
    Group groups_[16];
    std::int32_t used_ = 0;
};

// Whether a slot's track can be looked at; when it cannot and `find` is
// given, the reason is reported.
bool TrackReadable(const d88::D88Image& image, std::int32_t slot, std::int64_t diskOffset,
                   Finder* find) {
    const std::uint32_t entry = image.TrackEntry(slot);
    if (entry == 0) return false;
    if (entry > 0x7FFFFFFFu || entry > image.DiskSize()) {
        if (find != nullptr) {
            (*find)(AnomalyKind::TrackPastDisk, slot, -1,
                    "track table entry %u lies past the disk (size field %u)", entry,
                    image.DiskSize());
        }
        return false;
    }
    if (diskOffset + entry + d88::kSectorHeaderSize > image.FileSize()) {
        if (find != nullptr) {
            (*find)(AnomalyKind::TrackPastFile, slot, -1,
                    "track table entry %u lies past the end of the file", entry);
        }
        return false;
    }
    return true;
}

std::int32_t MostCommon(const std::int32_t* counts, std::int32_t size) {
    std::int32_t best = 0;
    for (std::int32_t i = 1; i < size; i++) {
        if (counts[i] > counts[best]) best = i;
    }
    return counts[best] > 0 ? best : -1;
}

std::uint32_t Packed(const d88::SectorId& id) {
    return static_cast<std::uint32_t>(id.c) << 24 | static_cast<std::uint32_t>(id.h) << 16 |
           static_cast<std::uint32_t>(id.r) << 8 | id.n;
}

const char* StatusMeaning(std::uint8_t status) {
    switch (status) {
        case 0x10: return "deleted data";
        case 0xA0: return "ID CRC error";
        case 0xB0: return "data CRC error";
        case 0xE0: return "no address mark";
        case 0xF0: return "no data mark";
        default: return "unknown";
    }
}

void CheckTrack(d88::D88Image& image, std::int32_t slot, const DiskFacts& facts,
                std::int32_t commonCode, Finder& find) {
    const std::int32_t count = image.ReadRecordHeaders(slot, Records, d88::kMaxTrackRecords);
    if (count == 0) {
        find(AnomalyKind::EmptyTrack, slot, -1, "no sector record can be read");
        return;
    }
    if (image.TrackCutAtBound(slot)) {
        find(AnomalyKind::TooManyRecords, slot, -1,
             "the track states more than %d records; the rest are not read", count);
    }
    const std::int32_t c = slot / 2;
    const std::int32_t h = slot % 2;
    for (std::int32_t i = 1; i < count; i++) {
        if (Records[i].sectorCount != Records[0].sectorCount) {
            find(AnomalyKind::CountsDisagree, slot, -1,
                 "records disagree on the sector count (%u in the first, %u in record %d)",
                 Records[0].sectorCount, Records[i].sectorCount, i + 1);
            break;
        }
    }
    TrackFindings track(find, slot, commonCode);
    for (std::int32_t i = 0; i < count; i++) {
        const RecordHeader& rec = Records[i];
        if (rec.id.c != c || rec.id.h != h) {
            track.Add(AnomalyKind::WrongId, rec.id, "has the ID C%u H%u; the slot implies C%d H%d",
                      rec.id.c, rec.id.h, c, h);
        }
        if (commonCode >= 0 && rec.id.n != commonCode) {
            track.Add(AnomalyKind::SizeCode, rec.id, "has size code %u; most sectors have %d",
                      rec.id.n, commonCode);
        }
        if (rec.id.n <= kMaxRealSizeCode && rec.dataLength < (128 << rec.id.n)) {
            track.Add(AnomalyKind::ShortData, rec.id, "holds %u of %d bytes", rec.dataLength,
                      128 << rec.id.n);
        }
        const std::int64_t end = rec.dataPosition + rec.dataLength;
        if (end > image.FileSize()) {
            const std::int64_t present =
                image.FileSize() > rec.dataPosition ? image.FileSize() - rec.dataPosition : 0;
            track.Add(AnomalyKind::CutByFile, rec.id,
                      "is cut by the end of the file: %lld of %u bytes present",
                      static_cast<long long>(present), rec.dataLength);
        }
        if (rec.status != 0) {
            track.Add(AnomalyKind::Status, rec.id, "has controller status 0x%02X (%s)",
                      rec.status, StatusMeaning(rec.status));
        }
        if (rec.deleted != 0) {
            track.Add(AnomalyKind::Deleted, rec.id, "carries the deleted-data mark (0x%02X)",
                      rec.deleted);
        }
    }
    for (std::int32_t i = 0; i < count; i++) SortedIds[i] = Packed(Records[i].id);
    std::sort(SortedIds, SortedIds + count);
    for (std::int32_t i = 0; i < count;) {
        std::int32_t same = 1;
        while (i + same < count && SortedIds[i + same] == SortedIds[i]) same++;
        if (same > 1) {
            const std::uint32_t id = SortedIds[i];
            const d88::SectorId sector{static_cast<std::uint8_t>(id >> 24),
                                       static_cast<std::uint8_t>(id >> 16),
                                       static_cast<std::uint8_t>(id >> 8),
                                       static_cast<std::uint8_t>(id)};
            track.Add(AnomalyKind::DuplicateId, sector,
                      "appears %d times with the ID %u/%u/%u/%u; the first is used", same,
                      sector.c, sector.h, sector.r, sector.n);
        }
        i += same;
    }
    track.Tell();
    // At most nine lines a track: told one by one.
    if (facts.sectorsPerTrack == extract::kSectorsPerTrack) {
        for (std::int32_t r = 1; r <= extract::kSectorsPerTrack; r++) {
            bool present = false;
            for (std::int32_t i = 0; i < count && !present; i++) present = Records[i].id.r == r;
            if (!present) find(AnomalyKind::MissingSector, slot, r, "missing");
        }
    }
}

// A blank entry is unused space, not an entry: an empty name with no
// sectors (a zero-filled area), or all spaces (an area filled with spaces,
// which d88ext8 reads as an empty directory).
bool IsBlank(const extract::DirectoryLayout& layout, std::int32_t index,
             const extract::DirectoryEntry& entry) {
    if (entry.name[0] == '\0' && entry.size == 0) return true;
    const std::uint8_t* raw = DirectoryBuffer + 1 + index * layout.entrySize;
    for (std::int32_t i = 0; i < layout.entrySize; i++) {
        if (raw[i] != 0x20) return false;
    }
    return true;
}

std::int32_t Score(const LayoutEvidence& e) { return e.skipped + e.filesFound; }

bool ReadsWell(const LayoutEvidence& e) {
    return Score(e) > 0 && 2 * e.unreadableNames <= e.entries;
}

// Reads the directory area already in DirectoryBuffer (`got` bytes of it)
// with `layout`, and the files' first sectors, which is all the verdict
// needs; with `wholeFiles`, the files whole, to count those found whole.
LayoutEvidence Assess(d88::D88Image& image, const extract::DirectoryLayout& layout,
                      std::int32_t got, bool wholeFiles) {
    LayoutEvidence evidence{};
    extract::ForEachEntry(layout, DirectoryBuffer, got, [&](std::int32_t index, extract::EntryKind kind,
                                                            const extract::DirectoryEntry& entry) {
        if (kind == extract::EntryKind::Extract && IsBlank(layout, index, entry)) return;
        evidence.entries++;
        if (!DecodesWhole(entry.name)) {
            evidence.unreadableNames++;
            return;
        }
        if (kind == extract::EntryKind::Skip) {
            evidence.skipped++;
            return;
        }
        const std::int32_t want =
            wholeFiles || entry.size < extract::kSectorSize ? entry.size : extract::kSectorSize;
        const std::int32_t found = image.ReadSectors(entry.slot, entry.cylinder, entry.head,
                                                     entry.sector, extract::kSectorSizeCode,
                                                     FileBuffer, want);
        if (found > 0) evidence.filesFound++;
        if (wholeFiles && found > 0 && found == entry.size) evidence.filesWhole++;
    });
    return evidence;
}

void JudgeDirectory(d88::D88Image& image, Report& report) {
    report.Fit(JudgeDisk(image, true));
}

void ReadDirectory(d88::D88Image& image, const Options& options, Report& report) {
    DigestSet fileHashes;
    const extract::DirectoryLayout& layout = *options.directory;
    const std::int32_t got = extract::ReadDirectoryArea(image, DirectoryBuffer);
    const std::int32_t entries = extract::EntriesWithin(layout, got);
    report.BeginDirectory(layout.entrySize, got, entries);
    extract::ForEachEntry(layout, DirectoryBuffer, got, [&](std::int32_t i, extract::EntryKind kind,
                                                            const extract::DirectoryEntry& entry) {
        DirectoryLine line{i, &entry, Prediction::Skipped, 0, extract::NameResult::Same, nullptr,
                           nullptr};
        char fileName[extract::kFileNameSize] = {};
        if (kind == extract::EntryKind::Extract) {
            std::int32_t partial = 0;
            line.bytesRead = image.ReadSectors(entry.slot, entry.cylinder, entry.head, entry.sector,
                                               extract::kSectorSizeCode, FileBuffer, entry.size,
                                               &partial);
            if (options.digests != nullptr && line.bytesRead > 0) {
                // The bytes the extractor writes: what the run brought, a
                // short sector's own bytes, zeros for the rest.
                const std::int32_t brought = line.bytesRead + partial;
                std::memset(FileBuffer + brought, 0, static_cast<std::size_t>(entry.size - brought));
                const std::unique_ptr<Digester> digester = options.digests(false);
                digester->Update(FileBuffer, static_cast<std::size_t>(entry.size));
                fileHashes = digester->Finish();
                line.hashes = &fileHashes;
            }
            line.prediction = line.bytesRead == 0           ? Prediction::Missing
                              : line.bytesRead < entry.size ? Prediction::Short
                                                            : Prediction::Ok;
            line.naming = extract::MakeFileName(entry.name, options.windowsNames, fileName);
            if (line.prediction != Prediction::Missing &&
                line.naming != extract::NameResult::Refused) {
                line.fileName = fileName;
            }
        }
        report.Entry(line);
    });
}

}  // namespace

std::int32_t TableSlots(const d88::D88Image& image) {
    // The table ends at the lowest entry met among the slots before that
    // end; the entries past it are the first track's bytes, not offsets.
    std::uint32_t end = d88::kDiskHeaderSize;
    std::int32_t slot = 0;
    for (; slot < d88::kTrackSlots; slot++) {
        const auto start = static_cast<std::uint32_t>(d88::kTrackTableOffset + 4 * slot);
        if (start >= end) break;
        const std::uint32_t entry = image.TrackEntry(slot);
        if (entry != 0 && entry < end) end = entry > start + 4 ? entry : start + 4;
    }
    return slot;
}

namespace {

// The whole file and each disk's bytes as stored, in one pass: each chunk
// read goes to the image's digests and to those of every disk it covers.
struct StoredHashes {
    DigestSet file;
    std::vector<DigestSet> disks;
};

StoredHashes HashStored(d88::D88Image& image, DigesterMaker make) {
    const std::int32_t disks = image.DiskCount();
    std::vector<std::int64_t> begin(static_cast<std::size_t>(disks));
    std::vector<std::int64_t> end(static_cast<std::size_t>(disks));
    std::vector<std::unique_ptr<Digester>> diskDigests;
    for (std::int32_t disk = 0; disk < disks; disk++) {
        image.SelectDisk(disk);
        const auto i = static_cast<std::size_t>(disk);
        begin[i] = image.DiskOffset(disk);
        end[i] = std::min<std::int64_t>(begin[i] + image.DiskSize(), image.FileSize());
        diskDigests.push_back(make(false));
    }
    const std::unique_ptr<Digester> fileDigest = make(false);
    static std::uint8_t chunk[1 << 20];
    for (std::int64_t at = 0; at < image.FileSize();) {
        const std::int32_t got = image.ReadBytes(at, chunk, static_cast<std::int32_t>(sizeof chunk));
        if (got <= 0) break;
        fileDigest->Update(chunk, static_cast<std::size_t>(got));
        for (std::size_t i = 0; i < diskDigests.size(); i++) {
            const std::int64_t from = std::max(at, begin[i]);
            const std::int64_t to = std::min(at + got, end[i]);
            if (from < to) {
                diskDigests[i]->Update(chunk + (from - at), static_cast<std::size_t>(to - from));
            }
        }
        at += got;
    }
    StoredHashes hashes;
    hashes.file = fileDigest->Finish();
    for (auto& digest : diskDigests) hashes.disks.push_back(digest->Finish());
    return hashes;
}

// SHA-1 over the selected disk's sector records, which two dumps of one
// disk share whatever their headers say: for each slot before the table's
// end whose entry lies within the disk and the file, the records the walk
// visits, in stored order (stopping where a header would pass the disk's
// end), each as C, H, R, N, its data length (2 bytes, little-endian) and
// the data bytes present.
std::string DataSha1(d88::D88Image& image, std::int64_t diskOffset, DigesterMaker make) {
    const std::unique_ptr<Digester> digest = make(true);
    const std::int64_t diskEnd = diskOffset + image.DiskSize();
    const std::int32_t slots = TableSlots(image);
    static std::uint8_t data[65536];
    for (std::int32_t slot = 0; slot < slots; slot++) {
        const std::uint32_t entry = image.TrackEntry(slot);
        if (entry == 0 || entry > image.DiskSize() || diskOffset + entry >= image.FileSize()) {
            continue;
        }
        const std::int32_t count = image.ReadRecordHeaders(slot, Records, d88::kMaxTrackRecords);
        for (std::int32_t i = 0; i < count; i++) {
            const RecordHeader& rec = Records[i];
            if (rec.dataPosition > diskEnd) break;
            const std::uint8_t head[6] = {rec.id.c, rec.id.h, rec.id.r, rec.id.n,
                                          static_cast<std::uint8_t>(rec.dataLength & 0xFF),
                                          static_cast<std::uint8_t>(rec.dataLength >> 8)};
            digest->Update(head, sizeof head);
            const std::int32_t got = image.ReadBytes(rec.dataPosition, data, rec.dataLength);
            if (got > 0) digest->Update(data, static_cast<std::size_t>(got));
        }
    }
    return digest->Finish().sha1;
}

}  // namespace

const char* NotD88Reason(d88::D88Image& image) {
    static char reason[160];
    if (image.DiskCount() == 0) return "shorter than one disk header (688 bytes)";
    image.SelectDisk(0);
    const std::uint32_t size = image.DiskSize();
    const std::int32_t media = image.MediaType();
    if (size < static_cast<std::uint32_t>(d88::kDiskHeaderSize)) {
        std::snprintf(reason, sizeof reason, "the first disk's size field (%u) is below 688", size);
        return reason;
    }
    if (size > image.FileSize()) {
        std::snprintf(reason, sizeof reason,
                      "the first disk's size field (%u) is larger than the file (%lld bytes)", size,
                      static_cast<long long>(image.FileSize()));
        return reason;
    }
    if (media != 0x00 && media != 0x10 && media != 0x20 && media != 0x30 && media != 0x40) {
        std::snprintf(reason, sizeof reason,
                      "the media byte 0x%02X is none of a D88 disk's (0x00, 0x10, 0x20, 0x30, 0x40)",
                      static_cast<unsigned>(media));
        return reason;
    }
    const std::int32_t slots = TableSlots(image);
    for (std::int32_t slot = 0; slot < slots; slot++) {
        if (image.ReadRecordHeaders(slot, Records, 1) > 0) return nullptr;
    }
    return "no track slot leads to a readable sector record";
}

FitFacts JudgeDisk(d88::D88Image& image, bool wholeFiles) {
    FitFacts fit{};
    fit.bytesRead = extract::ReadDirectoryArea(image, DirectoryBuffer);
    fit.ext8 = Assess(image, extract::Layout11, fit.bytesRead, wholeFiles);
    fit.ext6 = Assess(image, extract::Layout9, fit.bytesRead, wholeFiles);
    fit.verdict = JudgeFit(fit.bytesRead, fit.ext8, fit.ext6);
    return fit;
}

const char* FitName(FitVerdict verdict) {
    switch (verdict) {
        case FitVerdict::Ext8: return "d88ext8";
        case FitVerdict::Ext6: return "d88ext6";
        case FitVerdict::Either: return "either";
        case FitVerdict::Neither: return "neither";
    }
    return "neither";
}

FitVerdict JudgeFit(std::int32_t bytesRead, const LayoutEvidence& ext8,
                    const LayoutEvidence& ext6) {
    if (extract::EntriesWithin(extract::Layout9, bytesRead) == 0) return FitVerdict::Neither;
    const bool fits8 = ReadsWell(ext8);
    const bool fits6 = ReadsWell(ext6);
    if (fits8 && fits6) {
        if (Score(ext8) == Score(ext6)) return FitVerdict::Either;
        return Score(ext8) > Score(ext6) ? FitVerdict::Ext8 : FitVerdict::Ext6;
    }
    if (fits8) return FitVerdict::Ext8;
    if (fits6) return FitVerdict::Ext6;
    return ext8.entries == 0 && ext6.entries == 0 ? FitVerdict::Either : FitVerdict::Neither;
}

const char* AnomalyName(AnomalyKind kind) {
    switch (kind) {
        case AnomalyKind::DiskSize: return "disk-size";
        case AnomalyKind::TrackPastDisk: return "track-past-disk";
        case AnomalyKind::TrackPastFile: return "track-past-file";
        case AnomalyKind::EmptyTrack: return "empty-track";
        case AnomalyKind::CountsDisagree: return "sector-counts-disagree";
        case AnomalyKind::WrongId: return "wrong-id";
        case AnomalyKind::SizeCode: return "size-code";
        case AnomalyKind::DuplicateId: return "duplicate-id";
        case AnomalyKind::MissingSector: return "missing-sector";
        case AnomalyKind::ShortData: return "short-data";
        case AnomalyKind::CutByFile: return "cut-by-file";
        case AnomalyKind::Status: return "status";
        case AnomalyKind::Deleted: return "deleted-data";
        case AnomalyKind::TooManyRecords: return "too-many-records";
        case AnomalyKind::TooManyDisks: return "too-many-disks";
    }
    return "unknown";
}

std::int32_t Inspect(d88::D88Image& image, const char* path, const Options& options,
                     Report& report) {
    StoredHashes stored;
    if (options.digests != nullptr) stored = HashStored(image, options.digests);
    if (const char* reason = NotD88Reason(image)) report.NotD88(reason);
    report.BeginImage(path, image.FileSize(), options.digests != nullptr ? &stored.file : nullptr);
    Finder find(report);
    for (std::int32_t disk = 0; disk < image.DiskCount(); disk++) {
        DiskFacts facts{};
        std::string dataSha1;
        facts.index = disk;
        facts.offset = image.DiskOffset(disk);
        image.SelectDisk(disk);
        facts.name = image.DiskName();
        facts.media = image.MediaType();
        facts.writeProtect = image.WriteProtect();
        facts.sizeField = image.DiskSize();
        const std::int64_t inFile = image.FileSize() - facts.offset;
        facts.bytesPresent = inFile < facts.sizeField ? inFile : facts.sizeField;
        if (options.digests != nullptr) {
            facts.hashes = &stored.disks[static_cast<std::size_t>(disk)];
            dataSha1 = DataSha1(image, facts.offset, options.digests);
            facts.dataSha1 = &dataSha1;
        }
        // Entries past the table's end are header bytes, not track slots.
        const std::int32_t slots = TableSlots(image);

        // First pass: the geometry most tracks share.
        std::int32_t perTrack[d88::kMaxTrackRecords + 1] = {};
        std::int32_t sizeCodes[kMaxRealSizeCode + 1] = {};
        for (std::int32_t slot = 0; slot < slots; slot++) {
            if (image.TrackEntry(slot) != 0) facts.tracks++;
            if (!TrackReadable(image, slot, facts.offset, nullptr)) continue;
            const std::int32_t count =
                image.ReadRecordHeaders(slot, Records, d88::kMaxTrackRecords);
            if (count > 0) perTrack[count]++;
            for (std::int32_t i = 0; i < count; i++) {
                if (Records[i].id.n <= kMaxRealSizeCode) sizeCodes[Records[i].id.n]++;
            }
        }
        const std::int32_t commonCount = MostCommon(perTrack, d88::kMaxTrackRecords + 1);
        const std::int32_t commonCode = MostCommon(sizeCodes, kMaxRealSizeCode + 1);
        facts.sectorsPerTrack = commonCount > 0 ? commonCount : 0;
        facts.sectorSize = commonCode >= 0 ? 128 << commonCode : 0;
        report.BeginDisk(facts);

        if (facts.sizeField < static_cast<std::uint32_t>(d88::kDiskHeaderSize)) {
            find(AnomalyKind::DiskSize, -1, -1,
                 "the size field %u is smaller than a disk header; no later disk can be found",
                 facts.sizeField);
        } else if (facts.bytesPresent < facts.sizeField) {
            find(AnomalyKind::DiskSize, -1, -1,
                 "the size field says %u bytes, the file holds %lld of them", facts.sizeField,
                 static_cast<long long>(facts.bytesPresent));
        }
        for (std::int32_t slot = 0; slot < slots; slot++) {
            if (TrackReadable(image, slot, facts.offset, &find)) {
                CheckTrack(image, slot, facts, commonCode, find);
            }
        }
        if (disk == d88::kMaxDisks - 1 && image.TableEndReason() == d88::TableEnd::MaxDisks) {
            find(AnomalyKind::TooManyDisks, -1, -1,
                 "the image holds more than %d disks; the %dth (offset %lld) and later are not read",
                 d88::kMaxDisks, d88::kMaxDisks + 1,
                 static_cast<long long>(image.TableEndOffset()));
        }
        JudgeDirectory(image, report);
        if (options.tracks) {
            report.BeginTracks();
            for (std::int32_t slot = 0; slot < slots; slot++) {
                if (!TrackReadable(image, slot, facts.offset, nullptr)) continue;
                report.Track(slot, Records, image.ReadRecordHeaders(slot, Records, d88::kMaxTrackRecords));
            }
        }
        if (options.directory != nullptr) ReadDirectory(image, options, report);
        report.EndDisk();
    }
    return find.count();
}

}  // namespace info
