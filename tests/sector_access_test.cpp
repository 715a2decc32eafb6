// Finding sectors by ID within a track and moving runs of sectors.
#include <array>
#include <vector>

#include "reader_fixture.h"

using testimg::Bytes;
using testimg::BuildDisk;
using testimg::Disk;
using testimg::Record;
using testimg::RecordAt;
using testimg::RemoveRecord;
using testimg::SectorData;
using testimg::StandardDisk;

namespace {

// Logical sector numbers of a standard disk: 9 per slot.
int Lsn(int slot, int r) { return slot * 9 + r - 1; }

Bytes Sectors(const std::vector<int>& lsns) {
    Bytes out;
    for (int lsn : lsns) {
        const Bytes one = SectorData(lsn);
        out.insert(out.end(), one.begin(), one.end());
    }
    return out;
}

Bytes Prefix(const Bytes& bytes, std::size_t n) { return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)); }

}  // namespace

TEST_F(ReaderTest, ReadSectorFindsRecordsStoredOutOfOrder) {
    Disk disk = StandardDisk(1);
    auto& recs = disk.tracks[0].records;
    std::vector<Record> interleaved;
    for (int r : {1, 3, 5, 7, 9, 2, 4, 6, 8}) interleaved.push_back(recs[static_cast<std::size_t>(r - 1)]);
    recs = interleaved;
    OpenAndSelect(disk);
    Bytes buf(512);
    for (int r = 1; r <= 9; r++) {
        ASSERT_EQ(image->ReadSector(0, 0, 0, r, 2, buf.data(), 512), 512) << r;
        EXPECT_EQ(buf, SectorData(Lsn(0, r))) << r;
    }
}

TEST_F(ReaderTest, TheFirstOfTwoRecordsWithOneIdIsUsed) {
    Disk disk = StandardDisk(1);
    Record copy = RecordAt(disk, 0, 5);
    copy.data = Bytes(512, 0xEE);
    disk.tracks[0].records.push_back(copy);
    OpenAndSelect(disk);
    Bytes buf(512);
    ASSERT_EQ(image->ReadSector(0, 0, 0, 5, 2, buf.data(), 512), 512);
    EXPECT_EQ(buf, SectorData(Lsn(0, 5)));
}

TEST_F(ReaderTest, ReadSectorCopiesAtMostRoomBytes) {
    OpenAndSelect(StandardDisk(1));
    Bytes buf(512, 0xAA);
    ASSERT_EQ(image->ReadSector(0, 0, 0, 3, 2, buf.data(), 100), 100);
    EXPECT_EQ(Prefix(buf, 100), Prefix(SectorData(Lsn(0, 3)), 100));
    EXPECT_EQ(Bytes(buf.begin() + 100, buf.end()), Bytes(412, 0xAA));
    EXPECT_EQ(image->ReadSector(0, 0, 0, 3, 2, buf.data(), 0), 0);
}

// Every byte of the ID is compared with the whole argument.
TEST_F(ReaderTest, ReadSectorMatchesAllFourIdBytes) {
    OpenAndSelect(StandardDisk(2));
    std::uint8_t buf[1024];
    struct Case { int slot, c, h, r, n; };
    for (const Case& k : std::vector<Case>{{0, 0, 0, 4, 3},     // N differs
                                           {0, 0, 0, 4, 1},
                                           {0, 1, 0, 4, 2},     // C differs
                                           {0, 0, 1, 4, 2},     // H differs
                                           {0, 0, 0, 10, 2},    // no such R
                                           {0, 256, 0, 4, 2},   // 256 is no byte
                                           {0, 0, 0, 260, 2},
                                           {0, -256, 0, 4, 2},
                                           {1, 0, 0, 4, 2},     // slot 1 is head 1
                                           {2, 1, 0, 4, 2},     // absent slot
                                           {-1, 0, 0, 4, 2},
                                           {164, 0, 0, 4, 2}}) {
        EXPECT_EQ(image->ReadSector(k.slot, k.c, k.h, k.r, k.n, buf, 512), 0)
            << k.slot << " " << k.c << " " << k.h << " " << k.r << " " << k.n;
    }
    EXPECT_EQ(image->ReadSector(1, 0, 1, 4, 2, buf, 512), 512);
}

TEST_F(ReaderTest, ReadSectorsReadsTheDirectoryArea) {
    Disk disk = StandardDisk(1);
    OpenAndSelect(disk);
    image->SetSectorRange(1, 9);
    Bytes buf(2560);
    ASSERT_EQ(image->ReadSectors(0, 0, 0, 2, 2, buf.data(), 2560), 2560);
    EXPECT_EQ(buf, Sectors({1, 2, 3, 4, 5}));
}

TEST_F(ReaderTest, ReadSectorsStopsBeforeAMissingSector) {
    Disk disk = StandardDisk(1);
    RemoveRecord(disk, 0, 4);
    OpenAndSelect(disk);
    image->SetSectorRange(1, 9);
    Bytes buf(2560);
    EXPECT_EQ(image->ReadSectors(0, 0, 0, 2, 2, buf.data(), 2560), 1024);
    EXPECT_EQ(Prefix(buf, 1024), Sectors({1, 2}));
}

// After the last sector of a track the run goes on with the first sector of
// the next slot: head 0 to head 1 on one cylinder, head 1 to the next
// cylinder's head 0.
TEST_F(ReaderTest, ReadSectorsCrossesHeadsAndCylinders) {
    OpenAndSelect(StandardDisk(5));
    image->SetSectorRange(1, 9);
    struct Case { int slot, c, h, r; std::vector<int> lsns; };
    const std::vector<Case> cases = {
        {0, 0, 0, 9, {8, 9}},              // slot 0 R9 -> slot 1 (C0 H1) R1
        {1, 0, 1, 9, {17, 18}},            // slot 1 R9 -> slot 2 (C1 H0) R1
        {0, 0, 0, 8, {7, 8, 9, 10}},       // sectors 8, 9 of slot 0, 1, 2 of slot 1
        {2, 1, 0, 1, {18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32,
                      33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44}},
    };
    for (const Case& k : cases) {
        const Bytes want = Sectors(k.lsns);
        Bytes buf(want.size());
        EXPECT_EQ(image->ReadSectors(k.slot, k.c, k.h, k.r, 2, buf.data(),
                                     static_cast<std::int32_t>(buf.size())),
                  static_cast<std::int32_t>(want.size()));
        EXPECT_EQ(buf, want) << k.slot << " " << k.r;
    }
    // Slot 5 holds no track: a run from slot 4 ends after slot 4's sectors.
    Bytes buf(10 * 512);
    EXPECT_EQ(image->ReadSectors(4, 2, 0, 1, 2, buf.data(), 10 * 512), 9 * 512);
}

TEST_F(ReaderTest, ReadSectorsHonoursTheSectorRange) {
    OpenAndSelect(StandardDisk(2));
    // With the default range 1 to 16 the run looks for R10 on slot 0 and ends.
    Bytes buf(1024);
    EXPECT_EQ(image->ReadSectors(0, 0, 0, 9, 2, buf.data(), 1024), 512);
    image->SetSectorRange(1, 9);
    EXPECT_EQ(image->ReadSectors(0, 0, 0, 9, 2, buf.data(), 1024), 1024);
}

TEST_F(ReaderTest, ReadSectorsMovesAPartialLastPiece) {
    OpenAndSelect(StandardDisk(1));
    image->SetSectorRange(1, 9);
    Bytes buf(1024, 0xAA);
    EXPECT_EQ(image->ReadSectors(0, 0, 0, 1, 2, buf.data(), 700), 700);
    EXPECT_EQ(Prefix(buf, 700), Prefix(Sectors({0, 1}), 700));
    EXPECT_EQ(Bytes(buf.begin() + 700, buf.end()), Bytes(324, 0xAA));
    EXPECT_EQ(image->ReadSectors(0, 0, 0, 1, 2, buf.data(), 0), 0);
}

// A record whose data is shorter than its sector ends the run; its bytes are
// not counted.
TEST_F(ReaderTest, ReadSectorsEndsAtAShortRecord) {
    Disk disk = StandardDisk(1);
    RecordAt(disk, 0, 3).data.resize(200);
    OpenAndSelect(disk);
    image->SetSectorRange(1, 9);
    Bytes buf(2048);
    EXPECT_EQ(image->ReadSectors(0, 0, 0, 1, 2, buf.data(), 2048), 1024);
    EXPECT_EQ(image->ReadSector(0, 0, 0, 3, 2, buf.data(), 512), 200);
    // The caller can learn how many bytes the short record copied: 200
    // after the two whole sectors; none for a missing sector, or a whole run.
    std::int32_t partial = -1;
    EXPECT_EQ(image->ReadSectors(0, 0, 0, 1, 2, buf.data(), 2048, &partial), 1024);
    EXPECT_EQ(partial, 200);
    EXPECT_EQ(image->ReadSectors(0, 0, 0, 4, 2, buf.data(), 2048, &partial), 2048);
    EXPECT_EQ(partial, 0);
    RemoveRecord(disk, 0, 5);
    OpenAndSelect(disk);
    image->SetSectorRange(1, 9);
    EXPECT_EQ(image->ReadSectors(0, 0, 0, 4, 2, buf.data(), 2048, &partial), 512);
    EXPECT_EQ(partial, 0);
}

// The last record of the file stops 100 bytes into its data: the count is
// what arrived, and a run ends there as at a missing sector.
TEST_F(ReaderTest, ARecordCutByTheEndOfTheFileYieldsWhatArrived) {
    Disk disk = StandardDisk(1);
    Bytes bytes = BuildDisk(disk);
    bytes.resize(bytes.size() - 412);
    OpenBytes(bytes);
    ASSERT_TRUE(image->SelectDisk(0));
    image->SetSectorRange(1, 9);
    Bytes buf(512, 0xAA);
    EXPECT_EQ(image->ReadSector(0, 0, 0, 9, 2, buf.data(), 512), 100);
    EXPECT_EQ(Prefix(buf, 100), Prefix(SectorData(8), 100));
    Bytes run(9 * 512);
    EXPECT_EQ(image->ReadSectors(0, 0, 0, 1, 2, run.data(), 9 * 512), 8 * 512);
}

// The walk over a track ends at a record stating 0 sectors, and after the
// record whose index is its own sector count - 1.
TEST_F(ReaderTest, TheSectorCountOfEachRecordEndsTheWalk) {
    std::uint8_t buf[512];
    {
        Disk disk = StandardDisk(1);
        RecordAt(disk, 0, 4).count = 0;
        OpenAndSelect(disk);
        EXPECT_EQ(image->ReadSector(0, 0, 0, 3, 2, buf, 512), 512);
        EXPECT_EQ(image->ReadSector(0, 0, 0, 4, 2, buf, 512), 0);
        EXPECT_EQ(image->ReadSector(0, 0, 0, 5, 2, buf, 512), 0);
        EXPECT_EQ(image->ReadSectorIds(0, buf, 64), 12);
    }
    {
        Disk disk = StandardDisk(1);
        RecordAt(disk, 0, 3).count = 3;  // index 2 = 3 - 1: the walk ends here
        OpenAndSelect(disk);
        EXPECT_EQ(image->ReadSector(0, 0, 0, 3, 2, buf, 512), 512);
        EXPECT_EQ(image->ReadSector(0, 0, 0, 4, 2, buf, 512), 0);
    }
    {
        Disk disk = StandardDisk(1);
        // Only a record whose index equals its own count - 1 ends the walk:
        // R2 (index 1) states 9, and the records after it state 2, an index
        // the walk has already passed, so all nine are seen.
        for (Record& rec : disk.tracks[0].records) rec.count = 2;
        RecordAt(disk, 0, 2).count = 9;
        OpenAndSelect(disk);
        EXPECT_EQ(image->ReadSector(0, 0, 0, 9, 2, buf, 512), 512);
        RecordAt(disk, 0, 1).count = 1;  // index 0 = 1 - 1
        OpenAndSelect(disk);
        EXPECT_EQ(image->ReadSector(0, 0, 0, 1, 2, buf, 512), 512);
        EXPECT_EQ(image->ReadSector(0, 0, 0, 2, 2, buf, 512), 0);
    }
}

// Entries past the disk size, and entries of 2^31 and more (negative as
// signed offsets, which would read before the disk), hold no track. An entry
// equal to the disk size still counts.
TEST_F(ReaderTest, TrackEntriesOutsideTheDiskAreAbsent) {
    Disk disk = StandardDisk(2);
    const auto size = static_cast<std::uint32_t>(BuildDisk(disk).size());
    std::uint8_t buf[512];
    for (std::uint32_t entry : {size + 1, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFD50u}) {
        Disk bad = disk;
        bad.tableOverride[1] = entry;
        bad.sizeOverride = entry == size + 1 ? size : 0xFFFFFFFFu;
        OpenAndSelect(bad);
        image->SetSectorRange(1, 9);
        EXPECT_EQ(image->ReadSector(1, 0, 1, 1, 2, buf, 512), 0) << entry;
        EXPECT_EQ(image->ReadSectorIds(1, buf, 8), 0) << entry;
        EXPECT_EQ(image->ReadSector(0, 0, 0, 1, 2, buf, 512), 512) << entry;
    }
    // Slot 1's track begins 688 + 9 * 528 bytes into the disk: a disk size
    // of exactly that still lets it be found.
    Disk edge = disk;
    edge.sizeOverride = 688 + 9 * 528;
    OpenAndSelect(edge);
    EXPECT_EQ(image->ReadSector(1, 0, 1, 1, 2, buf, 512), 512);
    edge.sizeOverride = 688 + 9 * 528 - 1;
    OpenAndSelect(edge);
    EXPECT_EQ(image->ReadSector(1, 0, 1, 1, 2, buf, 512), 0);
}

TEST_F(ReaderTest, SectorsAreReadFromTheSelectedDisk) {
    Disk a = StandardDisk(1, "A");
    Disk b = StandardDisk(1, "B");
    testimg::PutFileData(b, 0, Bytes(512, 0xB0));
    OpenBytes(testimg::BuildImage({a, b}));
    Bytes buf(512);
    ASSERT_TRUE(image->SelectDisk(1));
    ASSERT_EQ(image->ReadSector(0, 0, 0, 1, 2, buf.data(), 512), 512);
    EXPECT_EQ(buf, Bytes(512, 0xB0));
    ASSERT_TRUE(image->SelectDisk(0));
    ASSERT_EQ(image->ReadSector(0, 0, 0, 1, 2, buf.data(), 512), 512);
    EXPECT_EQ(buf, SectorData(0));
}

TEST_F(ReaderTest, ReadSectorIdsListsWholeIdsThatFit) {
    Disk disk = StandardDisk(1);
    RecordAt(disk, 0, 2).n = 3;
    OpenAndSelect(disk);
    struct Case { std::int32_t room; std::int32_t written; };
    for (const Case& k : std::vector<Case>{{0, 0}, {3, 0}, {6, 4}, {8, 8}, {64, 36}}) {
        std::array<std::uint8_t, 64> out;
        out.fill(0xAA);
        EXPECT_EQ(image->ReadSectorIds(0, out.data(), k.room), k.written) << k.room;
        for (std::int32_t i = k.written; i < 64; i++) {
            ASSERT_EQ(out[static_cast<std::size_t>(i)], 0xAA) << "room " << k.room << " byte " << i;
        }
        if (k.written >= 8) {
            EXPECT_EQ(out[4], 0);
            EXPECT_EQ(out[5], 0);
            EXPECT_EQ(out[6], 2);
            EXPECT_EQ(out[7], 3);
        }
    }
}

TEST_F(ReaderTest, NothingIsReadBeforeADiskIsSelected) {
    OpenBytes(BuildDisk(StandardDisk(1)));
    std::uint8_t buf[512];
    EXPECT_EQ(image->ReadSector(0, 0, 0, 1, 2, buf, 512), 0);
    EXPECT_EQ(image->ReadSectors(0, 0, 0, 1, 2, buf, 512), 0);
    EXPECT_EQ(image->ReadSectorIds(0, buf, 512), 0);
    auto closed = std::make_unique<d88::D88Image>();
    EXPECT_EQ(closed->ReadSector(0, 0, 0, 1, 2, buf, 512), 0);
}

// Size codes whose sector length is no positive 32-bit value, and negative
// room or length, move nothing.
TEST_F(ReaderTest, ArgumentsOutOfRangeWriteNothing) {
    OpenAndSelect(StandardDisk(1));
    Bytes buf(512, 0xAA);
    for (std::int32_t n : {-1, 24, 31, 32, INT32_MAX}) {
        EXPECT_EQ(image->ReadSectors(0, 0, 0, 1, n, buf.data(), 512), 0) << n;
    }
    EXPECT_EQ(image->ReadSectors(0, 0, 0, 1, 2, buf.data(), -1), 0);
    EXPECT_EQ(image->ReadSector(0, 0, 0, 1, 2, buf.data(), -1), 0);
    EXPECT_EQ(image->ReadSectorIds(0, buf.data(), -4), 0);
    EXPECT_EQ(buf, Bytes(512, 0xAA));
}

// Records with large size codes and data lengths up to 65535 bytes.
TEST_F(ReaderTest, LargeSectorsAreReadWhole) {
    Disk disk;
    Record big;
    big.r = 1;
    big.n = 7;  // 16 KiB
    big.data = SectorData(7, 16384);
    Record odd;
    odd.r = 2;
    odd.n = 7;
    odd.data = SectorData(8, 65535);
    disk.tracks[0].records = {big, odd};
    OpenAndSelect(disk);
    image->SetSectorRange(1, 2);
    Bytes buf(32768);
    ASSERT_EQ(image->ReadSectors(0, 0, 0, 1, 7, buf.data(), 32768), 32768);
    EXPECT_EQ(Prefix(buf, 16384), SectorData(7, 16384));
    EXPECT_EQ(Bytes(buf.begin() + 16384, buf.end()), Prefix(SectorData(8, 65535), 16384));
}

// A walk visits at most 1,024 records of a track, however many the records
// state: the 1,024th is found, the 1,025th is not.
TEST_F(ReaderTest, AWalkVisitsAtMostKMaxTrackRecords) {
    static_assert(d88::kMaxTrackRecords == 1024);
    Disk disk;
    Record filler;
    filler.r = 200;
    filler.count = 0xFFFF;
    disk.tracks[0].records.assign(1023, filler);
    Record first = filler;
    first.r = 1;
    first.data = SectorData(1, 512);
    Record second = first;
    second.r = 2;
    disk.tracks[0].records.push_back(first);
    disk.tracks[0].records.push_back(second);
    OpenAndSelect(disk);
    Bytes buf(512);
    EXPECT_EQ(image->ReadSector(0, 0, 0, 1, 2, buf.data(), 512), 512);
    EXPECT_EQ(buf, SectorData(1, 512));
    EXPECT_EQ(image->ReadSector(0, 0, 0, 2, 2, buf.data(), 512), 0);
    std::vector<std::uint8_t> ids(4 * 2000);
    EXPECT_EQ(image->ReadSectorIds(0, ids.data(), static_cast<std::int32_t>(ids.size())), 4 * 1024);
    EXPECT_TRUE(image->TrackCutAtBound(0));
}

// A track that states exactly 1,024 records and has them is whole: the walk
// ends at the last one by its count, not by the bound.
TEST_F(ReaderTest, ATrackOfExactlyKMaxTrackRecordsIsWhole) {
    Disk disk;
    Record record;
    disk.tracks[0].records.assign(1024, record);
    OpenAndSelect(disk);
    std::vector<std::uint8_t> ids(4 * 2000);
    EXPECT_EQ(image->ReadSectorIds(0, ids.data(), static_cast<std::int32_t>(ids.size())), 4 * 1024);
    EXPECT_FALSE(image->TrackCutAtBound(0));
}

// Slots whose table entries hold one offset read the same records, also
// after other slots were read in between, and also on the next disk.
TEST_F(ReaderTest, SlotsSharingAnOffsetReadTheSameTrack) {
    Disk disk = StandardDisk(4);
    // Slots 4 to 163 point at slot 1's track: its records say C0 H1.
    const Bytes built = BuildDisk(disk);
    const std::uint32_t shared = d88::ReadLe32(built.data() + d88::kTrackTableOffset + 4);
    for (int slot = 4; slot < d88::kTrackSlots; slot++) disk.tableOverride[slot] = shared;
    OpenBytes(testimg::BuildImage({disk, StandardDisk(4)}));
    ASSERT_TRUE(image->SelectDisk(0));
    Bytes buf(512);
    // Slots 2 and 3 keep tracks of their own, read in between.
    for (int slot : {4, 2, 163, 3, 100, 1, 4}) {
        const bool shares = slot == 1 || slot >= 4;
        const int c = shares ? 0 : slot / 2;
        const int h = shares ? 1 : slot % 2;
        ASSERT_EQ(image->ReadSector(slot, c, h, 5, 2, buf.data(), 512), 512) << slot;
        EXPECT_EQ(buf, SectorData(shares ? 13 : 9 * slot + 4, 512)) << slot;
        if (shares && slot != 1) {
            EXPECT_EQ(image->ReadSector(slot, slot / 2, slot % 2, 5, 2, buf.data(), 512), 0);
        }
    }
    // The next disk's slot 4 holds no track.
    ASSERT_TRUE(image->SelectDisk(1));
    EXPECT_EQ(image->ReadSector(4, 0, 1, 5, 2, buf.data(), 512), 0);
    EXPECT_EQ(image->ReadSector(1, 0, 1, 5, 2, buf.data(), 512), 512);
}

// The whole record headers of a walk, status bytes included, and where each
// record's data lies in the file.
TEST_F(ReaderTest, ReadRecordHeadersGivesEachRecordAsStored) {
    Disk disk = StandardDisk(1);
    disk.writeProtect = 0x10;
    Record& odd = RecordAt(disk, 0, 2);
    odd.density = 0x40;
    odd.deleted = 0x10;
    odd.status = 0xB0;
    odd.count = 7;
    odd.data.resize(300);
    OpenAndSelect(disk);
    EXPECT_EQ(image->WriteProtect(), 0x10);
    EXPECT_EQ(image->FileSize(), static_cast<std::int64_t>(BuildDisk(disk).size()));

    std::vector<d88::RecordHeader> headers(16);
    ASSERT_EQ(image->ReadRecordHeaders(0, headers.data(), 16), 9);
    EXPECT_EQ(headers[0].id.r, 1);
    EXPECT_EQ(headers[0].dataPosition, 688 + 16);
    EXPECT_EQ(headers[0].status, 0);
    const d88::RecordHeader& second = headers[1];
    EXPECT_EQ(second.id.r, 2);
    EXPECT_EQ(second.sectorCount, 7);
    EXPECT_EQ(second.density, 0x40);
    EXPECT_EQ(second.deleted, 0x10);
    EXPECT_EQ(second.status, 0xB0);
    EXPECT_EQ(second.dataLength, 300);
    EXPECT_EQ(second.dataPosition, 688 + 528 + 16);
    EXPECT_EQ(headers[2].dataPosition, 688 + 528 + 316 + 16);
    EXPECT_EQ(image->ReadRecordHeaders(0, headers.data(), 3), 3);
    EXPECT_EQ(image->ReadRecordHeaders(1, headers.data(), 16), 0);
    ASSERT_TRUE(image->Close());
    EXPECT_EQ(image->FileSize(), 0);
    EXPECT_EQ(image->WriteProtect(), -1);
}
