// How files reach the working folder: runs sharing a folder, a full disk, an
// interrupted run, an existing file replaced, an image that cannot be
// positioned, and the exit status that tells whether every file was written.
#include <cctype>
#include <csignal>
#include <memory>
#include <ostream>

#include "program_fixture.h"

using testimg::Bytes;
using testimg::Disk;
using testimg::Entry;
using testimg::StandardDisk;
using testimg::WriteDirectory;

namespace fs = std::filesystem;

namespace {

// A full disk of `disks` disks, `files` entries each of 1 to 3 sectors,
// named after `tag` so that images of different tags share no name (or all
// names, with `sameNames`); every data byte is mixed with the tag, so that
// no two tags give the same contents.
Bytes TaggedImage(char tag, int disks, int files, bool sameNames = false) {
    std::vector<Disk> all;
    for (int d = 0; d < disks; d++) {
        Disk disk = StandardDisk(160);
        std::vector<Entry> entries;
        int lsn = 10;
        for (int i = 0; i < files; i++) {
            const int sectors = 1 + (i + d) % 3;
            const std::string name = std::string(1, sameNames ? 'S' : tag) + std::to_string(d) +
                                     "_" + std::to_string(i);
            entries.push_back({name, static_cast<std::uint16_t>(lsn),
                               static_cast<std::uint8_t>(sectors)});
            lsn += sectors;
        }
        WriteDirectory(disk, 11, entries);
        for (auto& [slot, track] : disk.tracks) {
            if (slot == 0) continue;  // the directory
            for (testimg::Record& record : track.records) {
                for (std::uint8_t& byte : record.data) byte ^= static_cast<std::uint8_t>(tag);
            }
        }
        all.push_back(disk);
    }
    return testimg::BuildImage(all);
}

// The files a run writes alone.
std::map<std::string, Bytes> SoloRun(const std::string& image) {
    testimg::TempDir folder;
    const auto result = testimg::RunProgram(kExt8.path, {image}, folder.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    return testimg::FilesIn(folder.path());
}

// A small disk with the files A (1 sector), OLD and BIG (4 sectors each).
Disk ThreeFiles() {
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 11, {{"A", 10, 1}, {"OLD", 11, 4}, {"BIG", 15, 4}});
    return disk;
}

}  // namespace

class SharedFolderTest : public ProgramTest, public ::testing::WithParamInterface<int> {};

// Runs started together in one folder: every file whole and as a solo run
// writes it, nothing else left behind.
TEST_P(SharedFolderTest, RunsOverDistinctImagesKeepEachOthersFiles) {
    const int runs = GetParam();
    std::map<std::string, Bytes> expected;
    std::vector<std::string> images;
    for (int k = 0; k < runs; k++) {
        images.push_back(root.File("image" + std::to_string(k) + ".d88"));
        ASSERT_TRUE(testimg::WriteFile(images.back(), TaggedImage(static_cast<char>('A' + k), 2, 200)));
        const auto solo = SoloRun(images.back());
        ASSERT_EQ(solo.size(), 400u);
        expected.insert(solo.begin(), solo.end());
    }
    for (int round = 0; round < 3; round++) {
        FreshWork();
        std::vector<std::unique_ptr<testimg::Started>> started;
        for (const std::string& image : images) {
            started.push_back(std::make_unique<testimg::Started>(kExt8.path, std::vector<std::string>{image},
                                                                 work, testimg::RunOptions{}));
        }
        for (auto& run : started) {
            const auto result = run->Wait();
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(result.err, "");
        }
        // FilesIn lists regular files only: a leftover temporary is one too.
        EXPECT_EQ(Files(), expected) << "round " << round;
        EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(work),
                                                         fs::directory_iterator())),
                  expected.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, SharedFolderTest, ::testing::Values(2, 4));

// The ways a file reaches its name: a nameless file (O_TMPFILE) linked
// under it, through its descriptor (for a user who may) or its /proc path,
// and a named temporary of the run's own where the system has no O_TMPFILE,
// or no /proc to name such a file through.
struct WritePath {
    const char* name;
    std::vector<std::string> environment;
    bool named;  // whether the data passes through a named temporary
    // Writes before the first file's own: without /proc, the first file is
    // written nameless before the run learns that it cannot be named.
    int extraWrites;
};

std::ostream& operator<<(std::ostream& out, const WritePath& path) { return out << path.name; }

const WritePath kNameless{"nameless", {}, false, 0};
const WritePath kThroughProc{"nameless through proc",
                             {"LD_PRELOAD=" D88_SYSTEM_SHIM,
                              "ASAN_OPTIONS=verify_asan_link_order=0", "D88_TEST_NO_EMPTY_PATH=1"},
                             false, 0};
const WritePath kNoTmpfile{"no O_TMPFILE",
                           {"LD_PRELOAD=" D88_SYSTEM_SHIM, "ASAN_OPTIONS=verify_asan_link_order=0",
                            "D88_TEST_NO_TMPFILE=1"},
                           true, 0};
const WritePath kNoProc{"no /proc",
                        {"LD_PRELOAD=" D88_SYSTEM_SHIM, "ASAN_OPTIONS=verify_asan_link_order=0",
                         "D88_TEST_NO_PROC=1"},
                        true, 1};

class WritePathTest : public ProgramTest, public ::testing::WithParamInterface<WritePath> {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (OnWindows() && !GetParam().environment.empty()) GTEST_SKIP() << "Linux system calls";
    }

    testimg::RunOptions Options() const {
        testimg::RunOptions options;
        options.environment = GetParam().environment;
        return options;
    }

    // The run's temporaries left in the folder, and the other files.
    static bool IsTemporary(const std::string& name) { return name.rfind(".d88ext-", 0) == 0; }
    std::map<std::string, Bytes> EntryFiles() const {
        std::map<std::string, Bytes> files = Files();
        for (auto it = files.begin(); it != files.end();) {
            it = IsTemporary(it->first) ? files.erase(it) : std::next(it);
        }
        return files;
    }
    std::size_t Temporaries() const {
        std::size_t count = 0;
        for (const auto& item : fs::directory_iterator(work)) {
            if (IsTemporary(item.path().filename().string())) count++;
        }
        return count;
    }
    std::size_t Entries() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(work), fs::directory_iterator()));
    }
};

INSTANTIATE_TEST_SUITE_P(Paths, WritePathTest, ::testing::Values(kNameless, kThroughProc, kNoTmpfile, kNoProc),
                         [](const auto& param) {
                             std::string name;
                             for (char c : std::string(param.param.name)) {
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             }
                             return name;
                         });

// Two runs writing the same names: each file is one image's version, whole;
// neither run ever removes a complete file of the other's.
TEST_P(WritePathTest, RunsWritingTheSameNamesLeaveWholeFiles) {
    const std::string first = root.File("first.d88");
    const std::string second = root.File("second.d88");
    ASSERT_TRUE(testimg::WriteFile(first, TaggedImage('A', 2, 200, true)));
    ASSERT_TRUE(testimg::WriteFile(second, TaggedImage('B', 2, 200, true)));
    const auto fromFirst = SoloRun(first);
    const auto fromSecond = SoloRun(second);
    for (int round = 0; round < 3; round++) {
        FreshWork();
        testimg::Started a(kExt8.path, {first}, work, Options());
        testimg::Started b(kExt8.path, {second}, work, Options());
        for (testimg::Started* run : {&a, &b}) {
            const auto result = run->Wait();
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(result.err, "");
        }
        const auto files = Files();
        EXPECT_EQ(files.size(), fromFirst.size());
        for (const auto& [name, bytes] : files) {
            ASSERT_TRUE(fromFirst.count(name) == 1) << name;
            EXPECT_TRUE(bytes == fromFirst.at(name) || bytes == fromSecond.at(name)) << name;
        }
    }
}

// A file-size limit (ulimit -f), with SIGXFSZ at its default action: writes
// past it fail with EFBIG, as on a full disk. The run goes on, ends with
// status 2 and a count, leaves no partial file and keeps the old file.
TEST_P(WritePathTest, FilesThatCannotBeWrittenMakeStatusTwo) {
    const Bytes old{'o', 'l', 'd'};
    ASSERT_TRUE(testimg::WriteFile((work / "OLD").string(), old));
    const std::string image = root.File("image.d88");
    ASSERT_TRUE(testimg::WriteFile(image, testimg::BuildDisk(ThreeFiles())));
    testimg::RunOptions options = Options();
    options.fileSizeLimit = 1024;
    const auto result = testimg::RunProgram(kExt8.path, {image}, work, options);

    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out,
              "A             TRACK:01 SECTOR:02 SIZE:0200\n"
              "OLD           TRACK:01 SECTOR:03 SIZE:0800\n"
              "BIG           TRACK:01 SECTOR:07 SIZE:0800\n");
    if (!OnWindows()) {
        EXPECT_EQ(result.err,
                  "d88ext8: disk 0: \"OLD\": cannot write the file: File too large\n"
                  "d88ext8: disk 0: \"BIG\": cannot write the file: File too large\n"
                  "d88ext8: 2 files could not be written\n");
    } else {
        EXPECT_THAT(result.err, ::testing::EndsWith("d88ext8: 2 files could not be written\n"));
    }
    EXPECT_EQ(Files(), (std::map<std::string, Bytes>{{"A", SectorRun(10, 1)}, {"OLD", old}}));
    EXPECT_EQ(Entries(), 2u);
}

// Replacing: an existing file and a link of the entry's name become the new
// file, and nothing else is left in the folder.
TEST_P(WritePathTest, ExistingFilesAreReplacedWithoutLeftovers) {
    ASSERT_TRUE(testimg::WriteFile((work / "OLD").string(), Bytes{'o', 'l', 'd'}));
    ASSERT_TRUE(testimg::WriteFile((work / "A").string(), Bytes(5000, 'x')));
    const std::string image = root.File("image.d88");
    ASSERT_TRUE(testimg::WriteFile(image, testimg::BuildDisk(ThreeFiles())));
    const auto result = testimg::RunProgram(kExt8.path, {image}, work, Options());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(Files(), (std::map<std::string, Bytes>{{"A", SectorRun(10, 1)},
                                                     {"OLD", SectorRun(11, 4)},
                                                     {"BIG", SectorRun(15, 4)}}));
    EXPECT_EQ(Entries(), 3u);
}

// Killed in the middle of a file, by each kind of signal: no partial file
// ever appears under an entry's name, files finished before stay whole, an
// old file being replaced stays as it was, and the run ends by the signal.
// A signal the run can catch also removes its temporary; a SIGKILL leaves
// nothing on the nameless path and at most its temporary on the named one.
TEST_P(WritePathTest, AKilledRunLeavesNoPartialFile) {
    if (OnWindows()) GTEST_SKIP() << "POSIX signals";
    const std::string image = root.File("image.d88");
    ASSERT_TRUE(testimg::WriteFile(image, testimg::BuildDisk(ThreeFiles())));
    const Bytes old{'o', 'l', 'd'};
    const std::map<std::string, Bytes> oldOnly{{"OLD", old}};
    const std::map<std::string, Bytes> aAndOld{{"A", SectorRun(10, 1)}, {"OLD", old}};
    const std::map<std::string, Bytes> aAndNewOld{{"A", SectorRun(10, 1)},
                                                  {"OLD", SectorRun(11, 4)}};
    struct Case {
        int signal;
        int interruptAt;  // the file write interrupted: 1 is A, 2 is OLD, 3 is BIG
        std::map<std::string, Bytes> left;
    };
    const std::vector<Case> cases = {
        {SIGHUP, 1, oldOnly},    {SIGTERM, 2, aAndOld},   {SIGINT, 3, aAndNewOld},
        {SIGQUIT, 2, aAndOld},   {SIGUSR1, 3, aAndNewOld}, {SIGALRM, 1, oldOnly},
        {SIGKILL, 1, oldOnly},   {SIGKILL, 2, aAndOld},   {SIGKILL, 3, aAndNewOld},
    };
    for (const Case& c : cases) {
        FreshWork();
        ASSERT_TRUE(testimg::WriteFile((work / "OLD").string(), old));
        testimg::RunOptions options = Options();
        options.environment.push_back("LD_PRELOAD=" D88_SYSTEM_SHIM);
        options.environment.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
        options.environment.push_back("D88_TEST_INTERRUPT_AT=" +
                                      std::to_string(c.interruptAt + GetParam().extraWrites));
        options.environment.push_back("D88_TEST_SIGNAL=" + std::to_string(c.signal));
        const auto result = testimg::RunProgram(kExt8.path, {image}, work, options);
        const std::string label = "signal " + std::to_string(c.signal) + " at write " +
                                  std::to_string(c.interruptAt);
        EXPECT_EQ(result.signal, c.signal) << label << "\n" << result.err;
        EXPECT_EQ(EntryFiles(), c.left) << label;
        const std::size_t temporaries = c.signal == SIGKILL && GetParam().named ? 1 : 0;
        EXPECT_EQ(Temporaries(), temporaries) << label;
        EXPECT_EQ(Entries(), c.left.size() + temporaries) << label;
    }
}

// The image is never written over, also when the run is started in its
// folder and an entry bears its name, or another hard link of it.
TEST_P(WritePathTest, TheImageIsNeverWrittenOver) {
    const Bytes image = testimg::BuildDisk(ThreeFiles());
    ASSERT_TRUE(testimg::WriteFile((work / "OLD").string(), image));
    const auto result = testimg::RunProgram(kExt8.path, {"OLD"}, work, Options());
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err,
              "d88ext8: disk 0: \"OLD\": is the image being read; not written\n"
              "d88ext8: 1 file could not be written\n");
    EXPECT_EQ(Files(), (std::map<std::string, Bytes>{
                           {"A", SectorRun(10, 1)}, {"OLD", image}, {"BIG", SectorRun(15, 4)}}));
    if (OnWindows()) return;
    // The same file under another name elsewhere.
    FreshWork();
    const std::string elsewhere = root.File("image.d88");
    ASSERT_TRUE(testimg::WriteFile(elsewhere, image));
    fs::create_hard_link(elsewhere, work / "BIG");
    const auto linked = testimg::RunProgram(kExt8.path, {elsewhere}, work, Options());
    EXPECT_EQ(linked.status, 2);
    EXPECT_EQ(linked.err,
              "d88ext8: disk 0: \"BIG\": is the image being read; not written\n"
              "d88ext8: 1 file could not be written\n");
    EXPECT_EQ(testimg::ReadFile(elsewhere), image);
    EXPECT_EQ(Entries(), 3u);
}

// An image read through a pipe cannot be positioned: refused with the
// open-failure message and the reason, before anything is written.
TEST_F(ProgramTest, AnImageThroughAPipeIsRefused) {
    if (OnWindows()) GTEST_SKIP() << "/dev/stdin";
    const Bytes image = testimg::BuildDisk(ThreeFiles());
    for (const Flavour* flavour : {&kExt8, &kExt6}) {
        testimg::RunOptions options;
        options.input = image;
        const auto result = testimg::RunProgram(flavour->path, {"/dev/stdin"}, work, options);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, kOpenFailure + flavour->program +
                                  ": /dev/stdin: cannot be positioned (a pipe?); the image must "
                                  "be a file, since it is read out of order\n");
    }
    EXPECT_TRUE(Files().empty());
}

// Entries without data say nothing about their names: a directory whose
// tail is zero bytes lists each such entry and warns about none.
TEST_F(ProgramTest, EntriesWithoutDataGiveNoNameWarnings) {
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 11, {{"A", 10, 1}, {"..", 11, 0}, {"B/C", 11, 0}}, {}, 0x00);
    const auto result = Run(kExt8, disk);
    EXPECT_EQ(result.status, 0);
    std::string expected = "A             TRACK:01 SECTOR:02 SIZE:0200\n"
                           "..            TRACK:01 SECTOR:03 SIZE:0000\n"
                           "B/C           TRACK:01 SECTOR:03 SIZE:0000\n";
    // Entries 3 to 231 are zero bytes: an empty name, sector 0, no sectors.
    for (int i = 3; i < 232; i++) expected += std::string(12, ' ') + "  TRACK:00 SECTOR:01 SIZE:0000\n";
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(Files(), (std::map<std::string, Bytes>{{"A", SectorRun(10, 1)}}));
}
