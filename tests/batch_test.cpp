// d88ext: whole collections, each image into a folder of its own, each disk
// read with the layout that fits it; compared with what d88ext8 and d88ext6
// write and say for the same disks.
#include <zlib.h>

#include <functional>

#include "program_fixture.h"
#include "samples.h"

using testimg::Bytes;
using testimg::BuildDisk;
using testimg::BuildImage;
using testimg::Disk;
using testimg::StandardDisk;
using testimg::WriteDirectory;

namespace fs = std::filesystem;

namespace {

const std::string kBatch = ProgramPath("D88_TEST_BATCH", D88EXT_PATH);

using Tree = std::map<std::string, Bytes>;

// Every regular file below `folder`, by its path relative to it.
Tree FilesBelow(const fs::path& folder, const std::string& prefix = "") {
    Tree tree;
    for (const auto& [name, bytes] : testimg::FilesIn(folder)) tree[prefix + name] = bytes;
    for (const auto& item : fs::directory_iterator(folder)) {
        if (!item.is_directory() || item.is_symlink()) continue;
        const std::string name = item.path().filename().string();
        const Tree below = FilesBelow(item.path(), prefix + name + "/");
        tree.insert(below.begin(), below.end());
    }
    return tree;
}

// A disk for d88ext8 (11-byte entries) and one for d88ext6 (9-byte).
Disk Disk8(const std::string& tag) {
    Disk disk = StandardDisk(4, "EIGHT");
    WriteDirectory(disk, 11, {{"A" + tag, 10, 1}, {"COMMAND", 11, 1}, {"B" + tag, 12, 2}});
    return disk;
}

Disk Disk6(const std::string& tag) {
    Disk disk = StandardDisk(4, "SIX");
    WriteDirectory(disk, 9, {{"C" + tag, 14, 1}, {"D" + tag, 15, 3}});
    return disk;
}

// A zip archive of stored members: each name as its bytes, with the UTF-8
// flag (bit 11) where asked. Only what libarchive needs to read it back.
Bytes Zip(const std::vector<std::tuple<std::string, Bytes, bool>>& members) {
    Bytes out;
    Bytes central;
    auto put16 = [](Bytes& b, std::uint32_t v) {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto put32 = [&](Bytes& b, std::uint32_t v) {
        put16(b, v & 0xFFFF);
        put16(b, v >> 16);
    };
    for (const auto& [name, data, utf8] : members) {
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, data.data(), static_cast<uInt>(data.size())));
        const auto offset = static_cast<std::uint32_t>(out.size());
        const std::uint32_t flags = utf8 ? 0x0800 : 0;
        const auto size = static_cast<std::uint32_t>(data.size());
        const auto length = static_cast<std::uint32_t>(name.size());
        put32(out, 0x04034b50);
        put16(out, 20), put16(out, flags), put16(out, 0), put16(out, 0), put16(out, 0x21);
        put32(out, crc), put32(out, size), put32(out, size);
        put16(out, length), put16(out, 0);
        out.insert(out.end(), name.begin(), name.end());
        out.insert(out.end(), data.begin(), data.end());
        put32(central, 0x02014b50);
        put16(central, 20), put16(central, 20), put16(central, flags), put16(central, 0);
        put16(central, 0), put16(central, 0x21);
        put32(central, crc), put32(central, size), put32(central, size);
        put16(central, length), put16(central, 0), put16(central, 0), put16(central, 0);
        put16(central, 0), put32(central, 0), put32(central, offset);
        central.insert(central.end(), name.begin(), name.end());
    }
    const auto centralStart = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), central.begin(), central.end());
    put32(out, 0x06054b50);
    put16(out, 0), put16(out, 0);
    put16(out, static_cast<std::uint32_t>(members.size()));
    put16(out, static_cast<std::uint32_t>(members.size()));
    put32(out, static_cast<std::uint32_t>(central.size())), put32(out, centralStart);
    put16(out, 0);
    return out;
}

class BatchTest : public ProgramTest {
protected:
    // Writes `bytes` to root/NAME (folders made) and returns its path.
    std::string Put(const std::string& name, const Bytes& bytes) {
        const fs::path path = root.path() / name;
        fs::create_directories(path.parent_path());
        EXPECT_TRUE(testimg::WriteFile(path.string(), bytes));
        return path.string();
    }

    testimg::RunResult Batch(const std::vector<std::string>& args,
                             const testimg::RunOptions& options = {}) {
        return testimg::RunProgram(kBatch, args, work, options);
    }

    // What d88ext8 or d88ext6 writes of `image` in an empty folder.
    Tree Alone(const Flavour& flavour, const Bytes& image) {
        testimg::TempDir folder;
        const std::string path = folder.File("alone.d88");
        EXPECT_TRUE(testimg::WriteFile(path, image));
        fs::create_directory(folder.path() / "out");
        testimg::RunProgram(flavour.path, {path}, folder.path() / "out");
        return testimg::FilesIn(folder.path() / "out");
    }

    static Tree Under(const std::string& prefix, const Tree& files) {
        Tree tree;
        for (const auto& [name, bytes] : files) tree[prefix + name] = bytes;
        return tree;
    }
};

}  // namespace

// One image whose disk 0 is for d88ext6 and disk 1 for d88ext8: each disk
// is read with its own layout, into a folder of its own, and writes what
// that program writes of it.
TEST_F(BatchTest, EachDiskIsReadWithTheLayoutThatFitsIt) {
    const std::string image = Put("mixed.d88", BuildImage({Disk6("0"), Disk8("1")}));
    const auto result = Batch({image});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, image + ": 2 disks (d88ext6, d88ext8), 4 files written, 0 warnings\n");
    Tree expected = Under("mixed/disk0/", Alone(kExt6, BuildDisk(Disk6("0"))));
    const Tree disk1 = Under("mixed/disk1/", Alone(kExt8, BuildDisk(Disk8("1"))));
    expected.insert(disk1.begin(), disk1.end());
    EXPECT_EQ(expected.size(), 4u);
    EXPECT_EQ(FilesBelow(work), expected);

    // -v lists each disk as its program does, under a heading.
    FreshWork();
    const auto verbose = Batch({"-v", image});
    EXPECT_EQ(verbose.out, "== " + image + " disk 0 (d88ext6)\n"
                           "C0            TRACK:01 SECTOR:06 SIZE:0200\n"
                           "D0            TRACK:01 SECTOR:07 SIZE:0600\n"
                           "== " + image + " disk 1 (d88ext8)\n"
                           "A1            TRACK:01 SECTOR:02 SIZE:0200\n"
                           "COMMAND \t\tis skipped.\n"
                           "B1            TRACK:01 SECTOR:04 SIZE:0400\n" +
                               image + ": 2 disks (d88ext6, d88ext8), 4 files written, 0 warnings\n");

    // --layout forces one layout on every disk: disk 0 read as 11-byte
    // entries finds nothing of its files.
    FreshWork();
    const auto forced = Batch({"--layout", "11", image});
    EXPECT_THAT(forced.out, ::testing::StartsWith(image + ": 2 disks (d88ext8, d88ext8), "));
    EXPECT_EQ(FilesBelow(work).count("mixed/disk1/A1"), 1u);
}

// A disk that both layouts read alike is read with 11-byte entries, and
// said so; one that fits neither (another file system) is skipped, and
// said so; neither changes the status.
TEST_F(BatchTest, EitherAndNeitherDisksAreToldOf) {
    // One entry, COM (skipped), which both layouts read alike; then the end.
    Disk either = StandardDisk(4, "EITHER");
    testimg::PutDirectoryBytes(either, 0, {0x00, 'C', 'O', 'M', 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
                                           0x20, 0x20, 0xFF});
    Disk neither = StandardDisk(4, "NEITHER");
    WriteDirectory(neither, 11, {}, {}, 0x01);
    const std::string image = Put("odd.d88", BuildImage({either, neither}));
    const auto result = Batch({image});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err,
              "d88ext: " + image + ": disk 0: both layouts read alike; read with 11-byte entries"
              " (d88ext8)\n"
              "d88ext: " + image + ": disk 1: the directory fits neither layout (another file"
              " system?); skipped\n");
    EXPECT_EQ(result.out, image + ": 2 disks (d88ext8, skipped), 0 files written, 2 warnings\n");
}

// Images of one stem get folders of their own, in the order given; images
// found in a folder come in byte order of their paths, a link to a folder
// is not followed, and files of other kinds are left alone.
TEST_F(BatchTest, StemsAreMadeUniqueAndFoldersAreSearched) {
    const std::string first = Put("a/GAME.d88", BuildDisk(Disk8("1")));
    const std::string second = Put("b/GAME.D88", BuildDisk(Disk8("2")));
    const std::string third = Put("c/GAME", BuildDisk(Disk8("3")));
    const auto result = Batch({first, second, third});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, first + ": 1 disk (d88ext8), 2 files written, 0 warnings\n" + second +
                              ": 1 disk (d88ext8), 2 files written, 0 warnings\n" + third +
                              ": 1 disk (d88ext8), 2 files written, 0 warnings\n");
    const Tree files = FilesBelow(work);
    EXPECT_EQ(files.at("GAME/A1"), SectorRun(10, 1));
    EXPECT_EQ(files.at("GAME (2)/A2"), SectorRun(10, 1));
    EXPECT_EQ(files.at("GAME (3)/A3"), SectorRun(10, 1));

    // A folder tree.
    FreshWork();
    const fs::path tree = root.path() / "tree";
    Put("tree/z.d88", BuildDisk(Disk8("Z")));
    Put("tree/sub/deep/x.D77", BuildDisk(Disk6("X")));
    Put("tree/sub/y.88d", BuildDisk(Disk8("Y")));
    Put("tree/notes.txt", Bytes{'h', 'i'});
    Put("elsewhere/w.d88", BuildDisk(Disk8("W")));
    if (!OnWindows()) fs::create_directory_symlink(root.path() / "elsewhere", tree / "link");
    const auto found = Batch({"-o", (work / "out").string(), tree.string()});
    EXPECT_EQ(found.status, 0);
    // Paths found are shown as the system builds them.
    const std::string sep = OnWindows() ? "\\" : "/";
    const std::string base = tree.string() + sep;
    EXPECT_EQ(found.out,
              base + "sub" + sep + "deep" + sep + "x.D77: 1 disk (d88ext6), 2 files written, 0 warnings\n" +
                  base + "sub" + sep + "y.88d: 1 disk (d88ext8), 2 files written, 0 warnings\n" +
                  base + "z.d88: 1 disk (d88ext8), 2 files written, 0 warnings\n");
    const Tree out = FilesBelow(work / "out");
    EXPECT_EQ(out.size(), 6u);
    EXPECT_EQ(out.count("x/CX"), 1u);
    EXPECT_EQ(out.count("y/AY"), 1u);
    EXPECT_EQ(out.count("z/AZ"), 1u);
}

// A zip of images, one named in Shift_JIS (no UTF-8 flag, as Japanese
// tools write them) and one in UTF-8: each member goes to
// ARCHIVE-STEM/MEMBER-STEM, named in UTF-8, whatever the locale.
TEST_F(BatchTest, ImagesInAZipAreReadFromMemory) {
    if (OnWindows()) GTEST_SKIP() << "the Windows build reads no archives";
    const std::string zip =
        Put("set.zip", Zip({{"disks/\xB6\xDE\xD1.d88", BuildDisk(Disk8("K")), false},
                            {"\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.d88", BuildDisk(Disk6("G")), true},
                            {"inner.zip", Bytes{'P', 'K'}, false},
                            {"readme.txt", Bytes{'x'}, false}}));
    for (const char* locale : {"C", "C.UTF-8"}) {
        FreshWork();
        testimg::RunOptions options;
        options.environment = {std::string("LC_ALL=") + locale};
        const auto result = Batch({zip}, options);
        EXPECT_EQ(result.status, 0) << locale;
        EXPECT_EQ(result.err, "d88ext: " + zip + "/inner.zip: an archive inside an archive; not opened\n")
            << locale;
        EXPECT_EQ(result.out,
                  zip + "/disks/\xEF\xBD\xB6\xEF\xBE\x9E\xEF\xBE\x91.d88: 1 disk (d88ext8), 2 files"
                        " written, 0 warnings\n" +
                      zip + "/\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.d88: 1 disk (d88ext6), 2 files"
                            " written, 0 warnings\n")
            << locale;
        Tree expected = Under("set/\xEF\xBD\xB6\xEF\xBE\x9E\xEF\xBE\x91/",
                              Alone(kExt8, BuildDisk(Disk8("K"))));
        const Tree kana =
            Under("set/\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0/", Alone(kExt6, BuildDisk(Disk6("G"))));
        expected.insert(kana.begin(), kana.end());
        EXPECT_EQ(FilesBelow(work), expected) << locale;
    }
}

// An image that cannot be read among good ones: the others are done, the
// run says what was not read, and ends with status 2; when nothing at all
// can be read, with status 1.
TEST_F(BatchTest, ADamagedImageAmongGoodOnesMakesStatusTwo) {
    const std::string good = Put("good.d88", BuildDisk(Disk8("1")));
    const std::string tiny = Put("tiny.d88", Bytes(100, 0));
    const std::string missing = (root.path() / "missing.d88").string();
    const std::string zip = OnWindows() ? "" : Put("broken.zip", Bytes{'P', 'K', 3, 4, 0});
    std::vector<std::string> args = {tiny, good, missing};
    if (!OnWindows()) args.push_back(zip);
    const auto result = Batch(args);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, tiny + ": not read\n" + good +
                              ": 1 disk (d88ext8), 2 files written, 0 warnings\n");
    EXPECT_THAT(result.err, ::testing::HasSubstr("d88ext: " + missing + ": cannot be read: "));
    EXPECT_THAT(result.err, ::testing::HasSubstr("d88ext: " + tiny +
                                                 ": not a D88 image: fewer than 688 bytes\n"));
    EXPECT_THAT(result.err, ::testing::EndsWith(std::string("d88ext: ") +
                                                (OnWindows() ? "2" : "3") +
                                                " images could not be read\n"));
    EXPECT_EQ(FilesBelow(work).size(), 2u);

    FreshWork();
    const auto nothing = Batch({tiny, missing});
    EXPECT_EQ(nothing.status, 1);
    const auto usage = Batch({"--layout", "7", good});
    EXPECT_EQ(usage.status, 1);
    EXPECT_EQ(usage.out, "");
    EXPECT_TRUE(FilesBelow(work).empty());
}

// With -j, images are extracted at the same time, and their lines still
// come in the order given, each image's together: exactly as with -j 1.
TEST_F(BatchTest, SeveralAtOnceKeepTheOrderGiven) {
    std::vector<std::string> images;
    for (int i = 0; i < 12; i++) {
        Disk disk = Disk8(std::to_string(i));
        // Every third image has a damaged file, so that warnings come too.
        if (i % 3 == 0) testimg::RemoveRecord(disk, 1, 5);
        images.push_back(Put("many/" + std::to_string(100 - i) + ".d88",
                             BuildImage({disk, Disk6(std::to_string(i))})));
    }
    std::vector<std::string> one = {"-j", "1", "-v"};
    one.insert(one.end(), images.begin(), images.end());
    const auto sequential = Batch(one);
    const Tree first = FilesBelow(work);
    FreshWork();
    std::vector<std::string> four = {"-j", "4", "-v"};
    four.insert(four.end(), images.begin(), images.end());
    const auto parallel = Batch(four);
    EXPECT_EQ(sequential.status, 0);
    EXPECT_EQ(parallel.status, 0);
    EXPECT_EQ(parallel.out, sequential.out);
    EXPECT_EQ(parallel.err, sequential.err);
    EXPECT_THAT(sequential.err, ::testing::HasSubstr("100.d88: disk 0: \"B0\": sectors missing"));
    EXPECT_EQ(FilesBelow(work), first);
    EXPECT_EQ(first.size(), 48u);
}

// A progress line is drawn on standard error only when it is a terminal and
// there is more than one image; it is cleared at the end.
TEST_F(BatchTest, TheProgressLineIsForATerminalOnly) {
    if (OnWindows()) GTEST_SKIP() << "a POSIX pseudo-terminal";
    const std::string a = Put("a.d88", BuildDisk(Disk8("1")));
    const std::string b = Put("b.d88", BuildDisk(Disk8("2")));
    testimg::RunOptions terminal;
    terminal.errorTerminal = true;
    const auto shown = Batch({a, b}, terminal);
    EXPECT_EQ(shown.status, 0);
    EXPECT_THAT(shown.err, ::testing::HasSubstr("\r\033[Kd88ext: 2 of 2 images, 4 files written, "));
    EXPECT_THAT(shown.err, ::testing::EndsWith("\r\033[K"));
    FreshWork();
    EXPECT_EQ(Batch({a, b}).err, "");
    FreshWork();
    EXPECT_EQ(Batch({a}, terminal).err, "");
}

// The hostile-names image gives d88ext the files and warnings d88ext8
// gives, in a folder of its own.
TEST_F(BatchTest, HostileNamesFareAsWithTheExtractors) {
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 11,
                   {{"../SENTI", 10, 1}, {"..", 11, 1}, {"/ETC/X", 13, 1}, {".profile", 14, 1},
                    {"OK", 20, 1}});
    const Bytes image = BuildDisk(disk);
    const std::string path = Put("hostile.d88", image);
    const auto alone = Run(kExt8, image);
    const Tree expected = Under("hostile/", Files());
    FreshWork();
    const auto result = Batch({path});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(FilesBelow(work), expected);
    // Each warning of d88ext8's, with the image's path after the name.
    std::string warnings;
    std::istringstream lines(alone.err);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("d88ext8: disk", 0) == 0) {
            warnings += "d88ext: " + path + ": " + line.substr(9) + "\n";
        }
    }
    warnings += "d88ext: 1 file could not be written\n";
    EXPECT_EQ(result.err, warnings);
    EXPECT_EQ(result.out, path + ": 1 disk (d88ext8), 4 files written, 4 warnings\n");
}
