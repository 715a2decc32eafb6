// What the programs write: file contents, runs across tracks, damaged
// sectors and damaged directories, several disks.
#include <set>

#include "program_fixture.h"

using testimg::Bytes;
using testimg::Disk;
using testimg::PutFileData;
using testimg::RecordAt;
using testimg::RemoveRecord;
using testimg::StandardDisk;
using testimg::WriteDirectory;

using FileMap = std::map<std::string, Bytes>;

// A file starting at logical sector 7 holds sectors 8 and 9 of slot 0, then
// sectors 1 and 2 of slot 1 (head 1); one starting at 17 crosses from head 1
// to cylinder 1.
TEST_F(ProgramTest, FilesRunAcrossHeadsAndCylinders) {
    for (const Flavour* flavour : {&kExt8, &kExt6}) {
        Disk disk = StandardDisk(6);
        WriteDirectory(disk, flavour->entrySize, {{"HEADS", 7, 4}, {"CYLS", 17, 3}, {"LONG", 9, 36}});
        const auto result = Run(*flavour, disk);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(Files(), (FileMap{{"HEADS", SectorRun(7, 4)},
                                  {"CYLS", SectorRun(17, 3)},
                                  {"LONG", SectorRun(9, 36)}}));
    }
}

TEST_F(ProgramTest, LargestFileIsWrittenWhole) {
    Disk disk = StandardDisk(30);
    WriteDirectory(disk, 11, {{"BIG", 9, 255}});
    const auto result = Run(kExt8, disk);
    EXPECT_EQ(result.out, "BIG           TRACK:01 SECTOR:01 SIZE:1fe00\n");
    EXPECT_EQ(Files(), (FileMap{{"BIG", SectorRun(9, 255)}}));
}

TEST_F(ProgramTest, LaterDiskReplacesAFileOfTheSameName) {
    Disk first = StandardDisk(4, "ONE");
    WriteDirectory(first, 11, {{"DATA", 10, 2}, {"ONLY1", 12, 1}});
    Disk second = StandardDisk(4, "TWO");
    WriteDirectory(second, 11, {{"DATA", 20, 1}});
    PutFileData(second, 20, Bytes(512, 0x22));
    const auto result = Run(kExt8, testimg::BuildImage({first, second}));
    EXPECT_EQ(result.out,
              "DATA          TRACK:01 SECTOR:02 SIZE:0400\n"
              "ONLY1         TRACK:01 SECTOR:04 SIZE:0200\n"
              "DATA          TRACK:02 SECTOR:03 SIZE:0200\n");
    EXPECT_EQ(Files(), (FileMap{{"DATA", Bytes(512, 0x22)}, {"ONLY1", SectorRun(12, 1)}}));
}

TEST_F(ProgramTest, AnExistingFileIsReplacedWhole) {
    testimg::WriteFile((work / "DATA").string(), Bytes(5000, 0x55));
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 11, {{"DATA", 10, 1}});
    const auto result = Run(kExt8, disk);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(Files(), (FileMap{{"DATA", SectorRun(10, 1)}}));
}

// A run that finds its first sector but not all: the file has its full
// size, zeros where sectors were missing (never bytes of an earlier file),
// and one warning names the entry.
TEST_F(ProgramTest, AFileCutShortIsWrittenWithZerosAndAWarning) {
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 11, {{"FULL", 18, 4}, {"CUT", 10, 4}});
    RemoveRecord(disk, 1, 4);  // logical sector 12, the third of CUT
    const auto result = Run(kExt8, disk);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              "FULL          TRACK:02 SECTOR:01 SIZE:0800\n"
              "CUT           TRACK:01 SECTOR:02 SIZE:0800\n");
    EXPECT_EQ(result.err,
              "d88ext8: disk 0: \"CUT\": sectors missing or short after 1024 of 2048 bytes;"
              " written with the missing bytes as zeros\n");
    Bytes cut = SectorRun(10, 2);
    cut.resize(2048, 0);
    EXPECT_EQ(Files(), (FileMap{{"FULL", SectorRun(18, 4)}, {"CUT", cut}}));
}

// A record holding fewer bytes than its sector ends the run too; the bytes
// it does hold are kept, the rest is zeros.
TEST_F(ProgramTest, AShortRecordKeepsItsOwnBytes) {
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 9, {{"FULL", 18, 3}, {"SHORT", 10, 3}});
    RecordAt(disk, 1, 3).data.resize(100);  // logical sector 11
    const auto result = Run(kExt6, disk);
    EXPECT_EQ(result.err,
              "d88ext6: disk 0: \"SHORT\": sectors missing or short after 512 of 1536 bytes;"
              " written with the missing bytes as zeros\n");
    Bytes expected = SectorRun(10, 1);
    const Bytes part = SectorRun(11, 1);
    expected.insert(expected.end(), part.begin(), part.begin() + 100);
    expected.resize(1536, 0);
    EXPECT_EQ(Files().at("SHORT"), expected);
}

// A run that finds nothing writes nothing and says nothing more than the
// listing line.
TEST_F(ProgramTest, AFileWhoseFirstSectorIsMissingIsNotWritten) {
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 11, {{"GONE", 12, 2}, {"SLOT", 27, 1}, {"NEXT", 14, 1}});
    RemoveRecord(disk, 1, 4);
    const auto result = Run(kExt8, disk);
    EXPECT_EQ(result.out,
              "GONE          TRACK:01 SECTOR:04 SIZE:0400\n"
              "SLOT          TRACK:03 SECTOR:01 SIZE:0200\n"
              "NEXT          TRACK:01 SECTOR:06 SIZE:0200\n");
    EXPECT_EQ(result.err, "");
    // Slot 3 exists; a table entry pointing past the disk hides it.
    EXPECT_EQ(Files(), (FileMap{{"SLOT", SectorRun(27, 1)}, {"NEXT", SectorRun(14, 1)}}));
    disk.tableOverride[3] = 0x7FFFFFFF;
    FreshWork();
    const auto hidden = Run(kExt8, disk);
    EXPECT_EQ(hidden.err, "");
    EXPECT_EQ(Files(), (FileMap{{"NEXT", SectorRun(14, 1)}}));
}

// Sector 4 of slot 0 is missing: 1,024 bytes of the directory arrive, which
// hold 93 whole 11-byte entries. Entry 93 straddles the end and is not used.
TEST_F(ProgramTest, AShortDirectoryScansOnlyTheEntriesRead) {
    Disk disk = StandardDisk(4);
    std::vector<testimg::Entry> entries;
    for (int i = 0; i < 95; i++) entries.push_back({"E" + std::to_string(i), 9, 1});
    WriteDirectory(disk, 11, entries);
    RemoveRecord(disk, 0, 4);
    const auto result = Run(kExt8, disk);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err,
              "d88ext8: disk 0: only 1024 of 2560 bytes of the directory could be read;"
              " 93 entries scanned\n");
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 93);
    EXPECT_NE(result.out.find("E92 "), std::string::npos);
    EXPECT_EQ(result.out.find("E93 "), std::string::npos);
}

// The second disk has no track in slot 0: its directory cannot be read, and
// the first disk's directory must not be scanned again in its place.
TEST_F(ProgramTest, ADiskWithoutDirectoryListsNothing) {
    Disk first = StandardDisk(4, "ONE");
    WriteDirectory(first, 9, {{"FIRST", 10, 1}});
    Disk second = StandardDisk(4, "TWO");
    second.tracks.erase(0);
    Disk third = StandardDisk(4, "THREE");
    RemoveRecord(third, 0, 2);
    const auto result = Run(kExt6, testimg::BuildImage({first, second, third}));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "FIRST         TRACK:01 SECTOR:02 SIZE:0200\n");
    EXPECT_EQ(result.err,
              "d88ext6: disk 1: only 0 of 2560 bytes of the directory could be read;"
              " 0 entries scanned\n"
              "d88ext6: disk 2: only 0 of 2560 bytes of the directory could be read;"
              " 0 entries scanned\n");
}

// Names are Shift_JIS. POSIX systems keep the bytes; Windows reads them as
// code page 932 whatever its own code page, so half-width kana become kana
// (under Wine: UTF-8 file names) and a double-byte character stays one.
TEST_F(ProgramTest, ShiftJisNamesBecomeTheirCharacters) {
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 9, {{"\xB6\xDE\xD1", 10, 1}, {"\x93\xFA\x96\x7B", 11, 1}});
    const auto result = Run(kExt6, disk);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    std::set<std::string> raw;
    for (const auto& item : std::filesystem::directory_iterator(work)) {
        raw.insert(item.path().filename().string());
    }
    if (OnWindows()) {
        // "ｶﾞﾑ" and "日本" in UTF-8.
        EXPECT_EQ(raw, (std::set<std::string>{"\xEF\xBD\xB6\xEF\xBE\x9E\xEF\xBE\x91",
                                              "\xE6\x97\xA5\xE6\x9C\xAC"}));
    } else {
        EXPECT_EQ(raw, (std::set<std::string>{"\xB6\xDE\xD1", "\x93\xFA\x96\x7B"}));
    }
    EXPECT_EQ(Files(), (FileMap{{"\xB6\xDE\xD1", SectorRun(10, 1)},
                              {"\x93\xFA\x96\x7B", SectorRun(11, 1)}}));
}

// A first sector that is there but short (511 of 512 bytes) gives no file,
// as a missing one, but a warning of its own; the status stays 0.
TEST_F(ProgramTest, AShortFirstSectorIsWarnedAbout) {
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 11, {{"HALF", 12, 2}, {"NEXT", 14, 1}});
    RecordAt(disk, 1, 4).data.resize(511);
    const auto result = Run(kExt8, disk);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              "HALF          TRACK:01 SECTOR:04 SIZE:0400\n"
              "NEXT          TRACK:01 SECTOR:06 SIZE:0200\n");
    EXPECT_EQ(result.err, "d88ext8: disk 0: \"HALF\": first sector short; not written\n");
    EXPECT_EQ(Files(), (FileMap{{"NEXT", SectorRun(14, 1)}}));
}
