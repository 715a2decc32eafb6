// Finding the disks of an image and loading one disk's header.
#include <cstring>
#include <filesystem>

#include "reader_fixture.h"

using testimg::Bytes;
using testimg::BuildDisk;
using testimg::BuildImage;
using testimg::Disk;
using testimg::StandardDisk;

namespace {

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A disk of nothing but its header, with the given size field.
Bytes BareHeader(std::uint32_t size) {
    Disk disk;
    disk.sizeOverride = size;
    return BuildDisk(disk);
}

}  // namespace

TEST_F(ReaderTest, FilesShorterThanOneHeaderHoldNoDisk) {
    for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{687}}) {
        OpenBytes(Bytes(length, 0x41));
        EXPECT_EQ(image->DiskCount(), 0) << length;
        EXPECT_FALSE(image->SelectDisk(0)) << length;
    }
}

TEST_F(ReaderTest, DisksAreFoundByWalkingTheSizeFields) {
    const Bytes a = BuildDisk(StandardDisk(1, "A"));
    const Bytes b = BuildDisk(StandardDisk(2, "B"));
    const Bytes c = BuildDisk(StandardDisk(3, "C"));
    // 687 trailing bytes cannot hold a fourth header and are ignored.
    OpenBytes(Concat({a, b, c, Bytes(687, 0)}));
    ASSERT_EQ(image->DiskCount(), 3);
    EXPECT_EQ(image->DiskOffset(0), 0);
    EXPECT_EQ(image->DiskOffset(1), static_cast<std::int64_t>(a.size()));
    EXPECT_EQ(image->DiskOffset(2), static_cast<std::int64_t>(a.size() + b.size()));
    EXPECT_EQ(image->DiskOffset(3), -1);
}

// A 65th header is not read, but the reader tells that it is there, and
// where; 64 disks and nothing after them is a whole image.
TEST_F(ReaderTest, AtMostSixtyFourDisksAreCounted) {
    std::vector<Disk> disks(70);
    OpenBytes(BuildImage(disks));
    EXPECT_EQ(image->DiskCount(), 64);
    EXPECT_EQ(image->DiskOffset(63), 63 * 688);
    EXPECT_EQ(image->TableEndReason(), d88::TableEnd::MaxDisks);
    EXPECT_EQ(image->TableEndOffset(), 64 * 688);

    disks.resize(64);
    Bytes exact = BuildImage(disks);
    OpenBytes(exact);
    EXPECT_EQ(image->DiskCount(), 64);
    EXPECT_EQ(image->TableEndReason(), d88::TableEnd::FileEnd);
    // 687 bytes where a 65th disk would be are no disk.
    exact.resize(exact.size() + 687);
    OpenBytes(exact);
    EXPECT_EQ(image->TableEndReason(), d88::TableEnd::FileEnd);
    EXPECT_EQ(image->TableEndOffset(), 64 * 688);
}

// A size field below one header would put the next header inside this one;
// a size of 0 would find the same disk 64 times. Such a disk is the last.
TEST_F(ReaderTest, SizeBelowOneHeaderEndsTheWalkAfterThatDisk) {
    for (std::uint32_t size : {0u, 1u, 687u}) {
        OpenBytes(Concat({BareHeader(size), BareHeader(688), BareHeader(688)}));
        EXPECT_EQ(image->DiskCount(), 1) << size;
        EXPECT_EQ(image->TableEndReason(), d88::TableEnd::SmallSize) << size;
        EXPECT_EQ(image->TableEndOffset(), 688) << size;
    }
    OpenBytes(Concat({BareHeader(688), BareHeader(688), BareHeader(688)}));
    EXPECT_EQ(image->DiskCount(), 3);
}

// 688 + (2^32 - 688) wraps to 0 in 32-bit arithmetic and would find disk 0
// again; 2^31 would become a negative offset. Both end the walk instead.
TEST_F(ReaderTest, RunningOffsetNeverWrapsPastTwoGigabytes) {
    OpenBytes(Concat({BareHeader(688), BareHeader(0xFFFFFD50u), BareHeader(688)}));
    EXPECT_EQ(image->DiskCount(), 2);
    OpenBytes(Concat({BareHeader(0x80000000u), BareHeader(688)}));
    EXPECT_EQ(image->DiskCount(), 1);
    OpenBytes(Concat({BareHeader(688), BareHeader(0x7FFFFD50u), BareHeader(688)}));
    EXPECT_EQ(image->DiskCount(), 2);
    EXPECT_EQ(image->TableEndReason(), d88::TableEnd::OffsetLimit);
    EXPECT_EQ(image->TableEndOffset(), 688 + 0x7FFFFD50ll);
}

TEST_F(ReaderTest, OpenFailsForAMissingFile) {
    EXPECT_FALSE(image->Open(dir.File("absent.d88").c_str()));
    EXPECT_EQ(image->DiskCount(), 0);
    EXPECT_FALSE(image->SelectDisk(0));
}

// A directory opens as a stream on POSIX systems but cannot be read.
TEST_F(ReaderTest, OpenFailsForAFolder) {
    EXPECT_FALSE(image->Open(dir.path().c_str()));
    EXPECT_EQ(image->DiskCount(), 0);
}

TEST_F(ReaderTest, OpenWithNullPathCloses) {
    OpenBytes(BuildDisk(StandardDisk(1)));
    EXPECT_TRUE(image->Open(nullptr));
    EXPECT_EQ(image->DiskCount(), 0);
    EXPECT_FALSE(image->SelectDisk(0));
}

TEST_F(ReaderTest, SelectDiskLoadsNameMediaAndTrackTable) {
    Disk d0 = StandardDisk(1, "FIRST");
    Disk d1 = StandardDisk(1, "0123456789ABCDEF");  // all 16 bytes used
    Disk d2 = StandardDisk(3, "XY");
    d2.media = 0x10;
    OpenBytes(BuildImage({d0, d1, d2}));
    ASSERT_EQ(image->DiskCount(), 3);

    ASSERT_TRUE(image->SelectDisk(2));
    EXPECT_EQ(image->CurrentDisk(), 2);
    EXPECT_EQ(image->MediaType(), 16);
    EXPECT_STREQ(image->DiskName(), "XY");
    EXPECT_EQ(image->TrackEntry(0), 688u);
    EXPECT_EQ(image->TrackEntry(3), 0u);
    EXPECT_EQ(image->DiskSize(), BuildDisk(d2).size());

    ASSERT_TRUE(image->SelectDisk(1));
    EXPECT_EQ(std::strlen(image->DiskName()), 16u);
    EXPECT_STREQ(image->DiskName(), "0123456789ABCDEF");
}

TEST_F(ReaderTest, DiskNameEndsAtTheFirstZeroByte) {
    Disk disk = StandardDisk(1, std::string("AB\0CD", 5));
    OpenAndSelect(disk);
    EXPECT_STREQ(image->DiskName(), "AB");
}

TEST_F(ReaderTest, FailedSelectionLeavesNothingSelected) {
    Disk disk = StandardDisk(1, "NAME");
    disk.media = 0x20;
    OpenBytes(BuildImage({disk, disk}));
    for (std::int32_t bad : {-1, 2, 64, INT32_MIN, INT32_MAX}) {
        ASSERT_TRUE(image->SelectDisk(0));
        EXPECT_FALSE(image->SelectDisk(bad)) << bad;
        EXPECT_EQ(image->CurrentDisk(), -1) << bad;
        EXPECT_EQ(image->MediaType(), -1) << bad;
        EXPECT_STREQ(image->DiskName(), "") << bad;
        std::uint8_t buf[512];
        EXPECT_EQ(image->ReadSector(0, 0, 0, 1, 2, buf, 512), 0) << bad;
    }
}

TEST_F(ReaderTest, SelectDiskFailsWhenTheHeaderIsGoneFromTheFile) {
    const Disk disk = StandardDisk(1);
    const std::string path = Write(BuildImage({disk, disk}));
    ASSERT_TRUE(image->Open(path.c_str()));
    ASSERT_EQ(image->DiskCount(), 2);
    const auto oneDisk = BuildDisk(disk).size();
    std::filesystem::resize_file(path, oneDisk + 100);
    EXPECT_FALSE(image->SelectDisk(1));
    EXPECT_EQ(image->CurrentDisk(), -1);
    EXPECT_TRUE(image->SelectDisk(0));
}

TEST_F(ReaderTest, SelectDiskNeedsAnOpenImage) {
    EXPECT_FALSE(image->SelectDisk(0));
    EXPECT_EQ(image->CurrentDisk(), -1);
    EXPECT_EQ(image->MediaType(), -1);
}

// Nothing of an image that was closed or replaced may serve a read: the
// second image's disk has not been selected yet, so nothing is found even
// though the first image's track table would fit it.
TEST_F(ReaderTest, OpenAndCloseClearTheSelection) {
    std::uint8_t buf[512];
    OpenAndSelect(StandardDisk(1, "OLD"));
    ASSERT_EQ(image->ReadSector(0, 0, 0, 1, 2, buf, 512), 512);

    ASSERT_TRUE(image->Close());
    EXPECT_EQ(image->DiskCount(), 0);
    EXPECT_EQ(image->CurrentDisk(), -1);
    EXPECT_STREQ(image->DiskName(), "");
    EXPECT_EQ(image->ReadSector(0, 0, 0, 1, 2, buf, 512), 0);

    ASSERT_TRUE(image->Open(Write(BuildDisk(StandardDisk(1, "NEW")), "new.d88").c_str()));
    EXPECT_EQ(image->ReadSector(0, 0, 0, 1, 2, buf, 512), 0);
    EXPECT_EQ(image->ReadSectors(0, 0, 0, 1, 2, buf, 512), 0);
    EXPECT_EQ(image->ReadSectorIds(0, buf, 36), 0);

    // Open while open replaces the first image without a Close.
    ASSERT_TRUE(image->SelectDisk(0));
    ASSERT_TRUE(image->Open(Write(BuildImage({Disk{}, Disk{}}), "two.d88").c_str()));
    EXPECT_EQ(image->DiskCount(), 2);
    EXPECT_EQ(image->CurrentDisk(), -1);
    EXPECT_EQ(image->ReadSector(0, 0, 0, 1, 2, buf, 512), 0);
}

TEST(ReadLe, AssemblesLeastSignificantByteFirst) {
    const std::uint8_t bytes[] = {0x78, 0x56, 0x34, 0x12, 0xFF};
    EXPECT_EQ(d88::ReadLe16(bytes), 0x5678u);
    EXPECT_EQ(d88::ReadLe32(bytes), 0x12345678u);
    EXPECT_EQ(d88::ReadLe32(bytes + 1), 0xFF123456u);
}

// An image in memory (an archive's member) is walked as the same bytes in a
// file are; it is no file of the file system, so it has no identity.
TEST_F(ReaderTest, AnImageInMemoryReadsAsTheSameFile) {
    testimg::Disk disk = testimg::StandardDisk(4);
    const Bytes bytes = BuildImage({disk, disk, disk});
    ASSERT_TRUE(image->OpenMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(image->DiskCount(), 3);
    EXPECT_EQ(image->FileSize(), static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(image->DiskOffset(2), static_cast<std::int64_t>(2 * bytes.size() / 3));
    ASSERT_TRUE(image->SelectDisk(2));
    Bytes buf(1024);
    EXPECT_EQ(image->ReadSectors(1, 0, 1, 8, 2, buf.data(), 1024), 1024);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 512), testimg::SectorData(16));
    d88::FileIdentity identity{};
    EXPECT_FALSE(image->Identity(&identity));
    // Cut in the middle of the last disk's data: what arrived, as for a file.
    ASSERT_TRUE(image->OpenMemory(bytes.data(), bytes.size() - 600));
    ASSERT_TRUE(image->SelectDisk(2));
    EXPECT_EQ(image->ReadSectors(3, 1, 1, 9, 2, buf.data(), 512), 0);
    EXPECT_FALSE(image->OpenMemory(nullptr, 0));
    EXPECT_FALSE(image->IsOpen());
}
