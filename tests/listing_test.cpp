// What the programs list: directory layouts, end markers, skipped names and
// the listing line's format.
#include "program_fixture.h"

using testimg::Bytes;
using testimg::Disk;
using testimg::Entry;
using testimg::PutDirectoryBytes;
using testimg::StandardDisk;
using testimg::WriteDirectory;

namespace {

std::string Listing(const std::string& name, const char* rest) {
    std::string padded = name;
    if (padded.size() < 12) padded.resize(12, ' ');
    return padded + "  " + rest + "\n";
}

}  // namespace

TEST_F(ProgramTest, GameExampleListsTrackSlotSectorAndSize) {
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 11, {{"GAME", 20, 4}});
    const auto result = Run(kExt8, disk);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "GAME          TRACK:02 SECTOR:03 SIZE:0800\n");
    EXPECT_EQ(result.err, "");
    // Sectors 3 to 6 of slot 2 (cylinder 1, head 0): logical sectors 20-23.
    EXPECT_EQ(Files(), (std::map<std::string, Bytes>{{"GAME", SectorRun(20, 4)}}));
}

TEST_F(ProgramTest, NamesBeginningWithComAreSkipped) {
    for (const Flavour* flavour : {&kExt8, &kExt6}) {
        Disk disk = StandardDisk(4);
        const bool wide = flavour->entrySize == 11;
        WriteDirectory(disk, flavour->entrySize,
                       {{wide ? "COMMAND" : "COMMAN", 10, 1},
                        {"COM", 11, 1},
                        {"CO", 12, 1},
                        {"com1", 13, 1},
                        {"ACOM", 14, 1}});
        FreshWork();
        const auto result = Run(*flavour, disk);
        EXPECT_EQ(result.out, std::string(wide ? "COMMAND" : "COMMAN") + " \t\tis skipped.\n" +
                                  "COM \t\tis skipped.\n" +
                                  Listing("CO", "TRACK:01 SECTOR:04 SIZE:0200") +
                                  Listing("com1", "TRACK:01 SECTOR:05 SIZE:0200") +
                                  Listing("ACOM", "TRACK:01 SECTOR:06 SIZE:0200"))
            << flavour->program;
        // com1 is extracted; Windows reserves the name for a device.
        const std::string com1 = OnWindows() ? "_com1" : "com1";
        EXPECT_EQ(result.err, OnWindows() ? std::string(flavour->program) +
                                                ": disk 0: \"com1\": written as \"_com1\"\n"
                                          : "");
        EXPECT_EQ(Files(), (std::map<std::string, Bytes>{{"CO", SectorRun(12, 1)},
                                                         {com1, SectorRun(13, 1)},
                                                         {"ACOM", SectorRun(14, 1)}}));
    }
}

// A 0xFF first byte ends the directory: nothing after it is looked at.
TEST_F(ProgramTest, FirstByteFFEndsTheDirectory) {
    for (const Flavour* flavour : {&kExt8, &kExt6}) {
        Disk disk = StandardDisk(4);
        WriteDirectory(disk, flavour->entrySize,
                       {{"ONE", 10, 1}, {"\xFFTWO", 11, 1}, {"THREE", 12, 1}}, {});
        FreshWork();
        const auto result = Run(*flavour, disk);
        EXPECT_EQ(result.out, Listing("ONE", "TRACK:01 SECTOR:02 SIZE:0200")) << flavour->program;
        EXPECT_EQ(Files().size(), 1u);
    }
}

// 9-byte entries: a zero first byte marks an unused entry, passed over
// silently; two spaces are an entry with an empty name.
TEST_F(ProgramTest, NineByteLayoutPassesOverUnusedEntries) {
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 9,
                   {{std::string("\0OLD", 4), 10, 1},
                    {"NEW", 11, 1},
                    {std::string("\0", 1), 12, 1},
                    {"", 13, 1},
                    {"LAST", 14, 1}});
    const auto result = Run(kExt6, disk);
    EXPECT_EQ(result.out, Listing("NEW", "TRACK:01 SECTOR:03 SIZE:0200") +
                              Listing("", "TRACK:01 SECTOR:05 SIZE:0200") +
                              Listing("LAST", "TRACK:01 SECTOR:06 SIZE:0200"));
    // An entry with data that cannot become a file is a failure of the run.
    EXPECT_EQ(result.err,
              "d88ext6: disk 0: \"\": not usable as a file name; not written\n"
              "d88ext6: 1 file could not be written\n");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(Files(), (std::map<std::string, Bytes>{{"NEW", SectorRun(11, 1)},
                                                     {"LAST", SectorRun(14, 1)}}));
}

// 11-byte entries: two leading spaces end the directory; a zero first byte,
// or a space followed by anything else, is an entry with an empty name.
TEST_F(ProgramTest, ElevenByteLayoutEndsAtTwoSpaces) {
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 11,
                   {{std::string("\0ZERO", 5), 10, 1},
                    {" X", 11, 1},
                    {"KEPT", 12, 1},
                    {"  ", 13, 1},
                    {"AFTER", 14, 1}},
                   {});
    const auto result = Run(kExt8, disk);
    EXPECT_EQ(result.out, std::string(12, ' ') + "  TRACK:01 SECTOR:02 SIZE:0200\n" +
                              std::string(12, ' ') + "  TRACK:01 SECTOR:03 SIZE:0200\n" +
                              Listing("KEPT", "TRACK:01 SECTOR:04 SIZE:0200"));
    EXPECT_EQ(result.err,
              "d88ext8: disk 0: \"\": not usable as a file name; not written\n"
              "d88ext8: disk 0: \"\": not usable as a file name; not written\n"
              "d88ext8: 2 files could not be written\n");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(Files(), (std::map<std::string, Bytes>{{"KEPT", SectorRun(12, 1)}}));
}

// Names that fill their field are used whole; the name stops at the first
// space or at a zero byte.
TEST_F(ProgramTest, NamesFillTheirFieldOrStopAtSpaceOrZero) {
    struct Case {
        const Flavour* flavour;
        std::string field;
        std::string name;
    };
    for (const Case& k : std::vector<Case>{{&kExt8, "ABCDEFGH", "ABCDEFGH"},
                                           {&kExt6, "ABCDEF", "ABCDEF"},
                                           {&kExt8, "AB CD", "AB"},
                                           {&kExt8, std::string("AB\0CD", 5), "AB"},
                                           {&kExt6, std::string("XY\0Z", 4), "XY"}}) {
        Disk disk = StandardDisk(4);
        WriteDirectory(disk, k.flavour->entrySize, {{k.field, 9, 2}});
        FreshWork();
        const auto result = Run(*k.flavour, disk);
        EXPECT_EQ(result.out, Listing(k.name, "TRACK:01 SECTOR:01 SIZE:0400")) << k.name;
        EXPECT_EQ(Files(), (std::map<std::string, Bytes>{{k.name, SectorRun(9, 2)}}));
    }
}

// The hexadecimal fields grow past their width: slot 7,281 of an entry at
// logical sector 65535 lies beyond the disk, so nothing is written.
TEST_F(ProgramTest, FarFirstSectorIsListedButNotWritten) {
    for (const Flavour* flavour : {&kExt8, &kExt6}) {
        Disk disk = StandardDisk(4);
        WriteDirectory(disk, flavour->entrySize, {{"FAR", 65535, 255}, {"EDGE", 1476, 1}});
        const auto result = Run(*flavour, disk);
        EXPECT_EQ(result.out, Listing("FAR", "TRACK:1c71 SECTOR:07 SIZE:1fe00") +
                                  Listing("EDGE", "TRACK:a4 SECTOR:01 SIZE:0200"));
        EXPECT_EQ(result.err, "");
        EXPECT_TRUE(Files().empty());
    }
}

TEST_F(ProgramTest, ZeroSectorCountIsListedButNotWritten) {
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 11, {{"NONE", 10, 0}});
    const auto result = Run(kExt8, disk);
    EXPECT_EQ(result.out, Listing("NONE", "TRACK:01 SECTOR:02 SIZE:0000"));
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(Files().empty());
}

// Without an end marker every entry of the area is scanned: 232 of 11 bytes,
// 284 of 9 bytes; the bytes after the last entry are never looked at.
TEST_F(ProgramTest, AFullDirectoryIsScannedToItsLastEntry) {
    for (const Flavour* flavour : {&kExt8, &kExt6}) {
        const int count = flavour->entrySize == 11 ? 232 : 284;
        Disk disk = StandardDisk(4);
        std::vector<Entry> entries;
        std::string expected;
        for (int i = 0; i < count; i++) {
            char name[8];
            std::snprintf(name, sizeof name, "F%03d", i);
            const int lsn = 9 + i % 27;
            entries.push_back({name, static_cast<std::uint16_t>(lsn), 1});
            char line[64];
            std::snprintf(line, sizeof line, "%-12s  TRACK:%02x SECTOR:%02x SIZE:0200\n", name,
                          lsn / 9, lsn % 9 + 1);
            expected += line;
        }
        WriteDirectory(disk, flavour->entrySize, entries, {});
        // What follows the last entry would be another entry if it were read.
        const int tail = 1 + count * flavour->entrySize;
        PutDirectoryBytes(disk, tail, Bytes(static_cast<std::size_t>(2560 - tail), 'Z'));
        FreshWork();
        const auto result = Run(*flavour, disk);
        EXPECT_EQ(result.out, expected) << flavour->program;
        EXPECT_EQ(result.err, "");
        const auto files = Files();
        EXPECT_EQ(files.size(), static_cast<std::size_t>(count));
        EXPECT_EQ(files.at("F031"), SectorRun(13, 1));
    }
}

// On a terminal, control bytes in names are shown as "?", so that an image
// cannot send escape sequences; the lines' own tabs stay. Redirected, the
// listing keeps the bytes as read.
TEST_F(ProgramTest, ControlBytesInNamesAreHiddenFromATerminal) {
    if (OnWindows()) GTEST_SKIP() << "a POSIX pseudo-terminal";
    testimg::Disk disk = testimg::StandardDisk(4);
    testimg::WriteDirectory(disk, 11,
                            {{"\x1B[2J", 10, 1}, {"A\x07\x7F" "B", 11, 1}, {"COM\x1B]0;", 12, 1},
                             {"\xB6\xDE\xD1", 13, 1}});
    const std::string image = root.File("image.d88");
    ASSERT_TRUE(testimg::WriteFile(image, testimg::BuildDisk(disk)));
    testimg::RunOptions options;
    options.terminal = true;
    const auto shown = testimg::RunProgram(kExt8.path, {image}, work, options);
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out,
              "?[2J          TRACK:01 SECTOR:02 SIZE:0200\n"
              "A??B          TRACK:01 SECTOR:03 SIZE:0200\n"
              "COM?]0; \t\tis skipped.\n"
              "\xB6\xDE\xD1           TRACK:01 SECTOR:05 SIZE:0200\n");
    FreshWork();
    const auto redirected = testimg::RunProgram(kExt8.path, {image}, work);
    EXPECT_EQ(redirected.out,
              "\x1B[2J          TRACK:01 SECTOR:02 SIZE:0200\n"
              "A\x07\x7F" "B          TRACK:01 SECTOR:03 SIZE:0200\n"
              "COM\x1B]0; \t\tis skipped.\n"
              "\xB6\xDE\xD1           TRACK:01 SECTOR:05 SIZE:0200\n");
    // The files keep the names' bytes either way.
    EXPECT_EQ(Files().count("\x1B[2J"), 1u);
}
