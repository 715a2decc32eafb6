// The command line, the two failure messages and the exit statuses.
#include <gmock/gmock.h>

#include "program_fixture.h"

using testimg::Bytes;
using testimg::RunProgram;

TEST_F(ProgramTest, WrongArgumentCountPrintsUsageWithArgvZero) {
    for (const Flavour* flavour : {&kExt8, &kExt6}) {
        // The program's name is shown as it was passed, a full path included.
        const std::string argv0 = std::string("/opt/tools/") + flavour->program;
        for (const std::vector<std::string>& args :
             std::vector<std::vector<std::string>>{{}, {"a.d88", "b.d88"}}) {
            const auto result = RunProgram(flavour->path, args, work, argv0);
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.out, "");
            if (OnWindows()) {
                // Windows hands a program its own path, as the system sees it.
                EXPECT_THAT(result.err, ::testing::MatchesRegex(std::string("Usage: .*\\\\") +
                                                                flavour->program +
                                                                "\\.exe \\[d88file\\]\n"));
            } else {
                EXPECT_EQ(result.err, "Usage: " + argv0 + " [d88file]\n");
            }
        }
    }
    EXPECT_TRUE(Files().empty());
}

TEST_F(ProgramTest, UnopenableImagePrintsTheShiftJisMessage) {
    for (const Flavour* flavour : {&kExt8, &kExt6}) {
        for (const std::string& path : {root.File("missing.d88"), root.path().string()}) {
            const auto result = RunProgram(flavour->path, {path}, work);
            EXPECT_EQ(result.status, 1) << path;
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(result.err, kOpenFailure) << path;
        }
    }
}

TEST_F(ProgramTest, AnImageWithoutDisksPrintsNothing) {
    for (const Flavour* flavour : {&kExt8, &kExt6}) {
        for (std::size_t length : {std::size_t{0}, std::size_t{687}}) {
            const auto result = Run(*flavour, Bytes(length, 0));
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(result.err, "");
        }
    }
    EXPECT_TRUE(Files().empty());
}

// An image path of any characters opens: on Windows the command line is
// taken as UTF-16, not in the system's code page.
TEST_F(ProgramTest, AnImagePathWithKanaOpens) {
    const std::string image = root.File("\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.d88");  // ゲーム
    testimg::Disk disk = testimg::StandardDisk(4);
    testimg::WriteDirectory(disk, 11, {{"A", 10, 1}});
    ASSERT_TRUE(testimg::WriteFile(image, testimg::BuildDisk(disk)));
    const auto result = RunProgram(kExt8.path, {image}, work);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(Files(), (std::map<std::string, Bytes>{{"A", SectorRun(10, 1)}}));
}

namespace {

// Offset of a disk header's size field (4 bytes, little-endian).
constexpr std::size_t kSizeField = 0x1C;

// `count` small disks, disk i holding one file named D<i>.
Bytes ManyDisks(int count) {
    std::vector<testimg::Disk> disks;
    for (int i = 0; i < count; i++) {
        testimg::Disk disk = testimg::StandardDisk(2);
        testimg::WriteDirectory(disk, 11, {{"D" + std::to_string(i), 10, 1}});
        disks.push_back(disk);
    }
    return testimg::BuildImage(disks);
}

}  // namespace

// The disk table holds 64 disks; a 65th is not read, and the run says so
// and ends with status 2: files were lost. Exactly 64 is a whole image.
TEST_F(ProgramTest, DisksPastTheSixtyFourthAreToldAndMakeStatusTwo) {
    const Bytes one = ManyDisks(1);
    const Bytes image = ManyDisks(65);
    const auto result = Run(kExt8, image);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "d88ext8: the image holds more than 64 disks; the 65th (offset " +
                              std::to_string(64 * one.size()) + ") and later are not read\n");
    const auto files = Files();
    EXPECT_EQ(files.size(), 64u);
    EXPECT_EQ(files.count("D63"), 1u);
    EXPECT_EQ(files.count("D64"), 0u);

    FreshWork();
    const auto exact = Run(kExt8, ManyDisks(64));
    EXPECT_EQ(exact.status, 0);
    EXPECT_EQ(exact.err, "");
    EXPECT_EQ(Files().size(), 64u);
}

// A walk that stops early while the file goes on says where it stopped;
// that is damage, and the status stays 0. Where the file ends there, or a
// 65th disk would be too short, nothing is said.
TEST_F(ProgramTest, AWalkThatStopsEarlySaysWhere) {
    const Bytes disk = ManyDisks(1);
    // Disk 1's size field is below one header; disk 2 follows.
    Bytes small = ManyDisks(3);
    small[disk.size() + kSizeField] = 100;
    for (std::size_t i = 1; i < 4; i++) small[disk.size() + kSizeField + i] = 0;
    auto result = Run(kExt8, small);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "D0            TRACK:01 SECTOR:02 SIZE:0200\n");
    EXPECT_EQ(result.err,
              "d88ext8: disk 1: only 0 of 2560 bytes of the directory could be read; 0 entries "
              "scanned\n"
              "d88ext8: disk 1: size field 100 is smaller than a disk header (688 bytes); nothing "
              "after offset " +
                  std::to_string(disk.size() + 688) + " is read\n");
    // The same disk last in the file, with nothing after its header.
    small.resize(disk.size() + 688);
    result = Run(kExt8, small);
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.err, ::testing::Not(::testing::HasSubstr("nothing after")));

    // Disk 1's size field puts disk 2 past 2^31 - 1, and the (sparse) file
    // goes on beyond that.
    if (OnWindows()) return;
    Bytes far = ManyDisks(2);
    const std::uint32_t size = 0x7FFFFFFFu - static_cast<std::uint32_t>(disk.size()) + 1;
    for (std::size_t i = 0; i < 4; i++) {
        far[disk.size() + kSizeField + i] = static_cast<std::uint8_t>(size >> (8 * i));
    }
    const std::string path = root.File("far.d88");
    ASSERT_TRUE(testimg::WriteFile(path, far));
    std::filesystem::resize_file(path, 0x80000000ull + 4096);
    result = testimg::RunProgram(kExt8.path, {path}, work);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              "D0            TRACK:01 SECTOR:02 SIZE:0200\n"
              "D1            TRACK:01 SECTOR:02 SIZE:0200\n");
    EXPECT_EQ(result.err, "d88ext8: disk 1: size field " + std::to_string(size) +
                              " puts the next disk past offset 2147483647; nothing after offset "
                              "2147483648 is read\n");
}

// Standard output that cannot be written is a failure: the line that says
// so comes before the count of files not written, which stays last. A
// closed descriptor 1 is not taken by an output file.
TEST_F(ProgramTest, StandardOutputThatCannotBeWrittenMakesStatusTwo) {
    if (OnWindows()) GTEST_SKIP() << "/dev/full and closed descriptors";
    testimg::Disk disk = testimg::StandardDisk(4);
    testimg::WriteDirectory(disk, 11, {{"A", 10, 1}, {"..", 11, 1}, {"B", 12, 2}});
    const std::string image = root.File("image.d88");
    ASSERT_TRUE(testimg::WriteFile(image, testimg::BuildDisk(disk)));
    struct Case {
        std::string output;
        std::string reason;
    };
    for (const Case& c : {Case{"/dev/full", "No space left on device"},
                          Case{"", "Bad file descriptor"}}) {
        FreshWork();
        testimg::RunOptions options;
        options.outputPath = c.output;
        const auto result = testimg::RunProgram(kExt8.path, {image}, work, options);
        EXPECT_EQ(result.status, 2) << c.reason;
        EXPECT_EQ(result.err,
                  "d88ext8: disk 0: \"..\": not usable as a file name; not written\n"
                  "d88ext8: standard output: write error: " + c.reason + "\n"
                  "d88ext8: 1 file could not be written\n");
        EXPECT_EQ(Files(), (std::map<std::string, Bytes>{{"A", SectorRun(10, 1)},
                                                         {"B", SectorRun(12, 2)}}));
    }
    // Nothing to print and a closed descriptor: nothing was lost.
    FreshWork();
    ASSERT_TRUE(testimg::WriteFile(image, Bytes(100, 0)));
    testimg::RunOptions closed;
    closed.outputPath = "";
    const auto quiet = testimg::RunProgram(kExt8.path, {image}, work, closed);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
}
