// An image of unknown origin must not make the programs write anywhere but
// the working folder, nor through a link planted there.
#include <fstream>

#include "program_fixture.h"

using testimg::Bytes;
using testimg::Disk;
using testimg::StandardDisk;
using testimg::WriteDirectory;

namespace fs = std::filesystem;

namespace {

// Every file and link below `folder`, with the bytes of the regular files,
// leaving out what lies below `folder`/`skip`.
std::map<std::string, std::string> Tree(const fs::path& folder, const std::string& skip = "") {
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string rel = fs::relative(it->path(), folder).string();
        if (!skip.empty() && rel.rfind(skip, 0) == 0) continue;
        if (it->is_symlink()) {
            tree[rel] = "link -> " + fs::read_symlink(it->path()).string();
        } else if (it->is_regular_file()) {
            const Bytes bytes = testimg::ReadFile(it->path().string());
            tree[rel] = std::string(bytes.begin(), bytes.end());
        } else {
            tree[rel] = "folder";
        }
    }
    return tree;
}

}  // namespace

// root/ holds a sentinel and the image; root/work/ is the working folder and
// holds a link to the sentinel named like an entry of the image.
TEST_F(ProgramTest, HostileNamesStayInsideTheWorkingFolder) {
    if (OnWindows()) GTEST_SKIP() << "POSIX names and links; Windows has its own test";
    const fs::path sentinel = root.path() / "SENTINEL";
    testimg::WriteFile(sentinel.string(), Bytes{'k', 'e', 'e', 'p'});
    fs::create_symlink(sentinel, work / "LINK");
    fs::create_symlink(sentinel, work / "_.__ETC");
    fs::create_directory(work / "DIR");
    // A hidden file of the user's, which an entry named like it must not
    // replace.
    testimg::WriteFile((work / ".profile").string(), Bytes{'m', 'i', 'n', 'e'});

    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 11,
                   {{"../SENTI", 10, 1},
                    {"..", 11, 1},
                    {".", 12, 1},
                    {"/ETC/X", 13, 1},
                    {"/", 14, 1},
                    {"LINK", 15, 1},
                    {"DIR", 16, 1},
                    {"A\\B:C", 17, 1},
                    {std::string("\0PASS", 5), 18, 1},
                    {"..//ETC", 19, 1},
                    {"OK", 20, 1},
                    {".profile", 21, 1}});
    // The image goes where Run puts it before the folder is looked at.
    testimg::WriteFile(root.File("image.d88"), testimg::BuildDisk(disk));
    const auto before = Tree(root.path(), "work");
    const auto result = Run(kExt8, disk);

    // "..", ".", "DIR" and the empty name had data and gave no file.
    EXPECT_EQ(result.status, 2);
    // The listing keeps every name as it was read.
    EXPECT_EQ(result.out,
              "../SENTI      TRACK:01 SECTOR:02 SIZE:0200\n"
              "..            TRACK:01 SECTOR:03 SIZE:0200\n"
              ".             TRACK:01 SECTOR:04 SIZE:0200\n"
              "/ETC/X        TRACK:01 SECTOR:05 SIZE:0200\n"
              "/             TRACK:01 SECTOR:06 SIZE:0200\n"
              "LINK          TRACK:01 SECTOR:07 SIZE:0200\n"
              "DIR           TRACK:01 SECTOR:08 SIZE:0200\n"
              "A\\B:C         TRACK:01 SECTOR:09 SIZE:0200\n"
              "              TRACK:02 SECTOR:01 SIZE:0200\n"
              "..//ETC       TRACK:02 SECTOR:02 SIZE:0200\n"
              "OK            TRACK:02 SECTOR:03 SIZE:0200\n"
              ".profile      TRACK:02 SECTOR:04 SIZE:0200\n");
    EXPECT_EQ(result.err,
              "d88ext8: disk 0: \"../SENTI\": written as \"_._SENTI\"\n"
              "d88ext8: disk 0: \"..\": not usable as a file name; not written\n"
              "d88ext8: disk 0: \".\": not usable as a file name; not written\n"
              "d88ext8: disk 0: \"/ETC/X\": written as \"_ETC_X\"\n"
              "d88ext8: disk 0: \"/\": written as \"_\"\n"
              "d88ext8: disk 0: \"DIR\": cannot create the file: Is a directory\n"
              "d88ext8: disk 0: \"\": not usable as a file name; not written\n"
              "d88ext8: disk 0: \"..//ETC\": written as \"_.__ETC\"\n"
              "d88ext8: disk 0: \".profile\": written as \"_profile\"\n"
              "d88ext8: 4 files could not be written\n");

    // Outside the working folder nothing changed.
    EXPECT_EQ(Tree(root.path(), "work"), before);
    EXPECT_EQ(testimg::ReadFile(sentinel.string()), (Bytes{'k', 'e', 'e', 'p'}));

    // Inside, exactly what the rules say: links replaced by files, the folder
    // left alone.
    auto sector = [](int lsn) {
        const Bytes b = SectorRun(lsn, 1);
        return std::string(b.begin(), b.end());
    };
    EXPECT_EQ(Tree(work), (std::map<std::string, std::string>{{"_._SENTI", sector(10)},
                                                              {"_ETC_X", sector(13)},
                                                              {"_", sector(14)},
                                                              {"LINK", sector(15)},
                                                              {"DIR", "folder"},
                                                              {"A\\B:C", sector(17)},
                                                              {"_.__ETC", sector(19)},
                                                              {"OK", sector(20)},
                                                              {"_profile", sector(21)},
                                                              {".profile", "mine"}}));
}

// Warnings show bytes that cannot be printed escaped; files keep them.
TEST_F(ProgramTest, WarningsEscapeUnprintableBytes) {
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 11, {{"\xB6\x01/\"\\", 10, 1}});
    const auto result = Run(kExt8, disk);
    EXPECT_EQ(result.out, "\xB6\x01/\"\\         TRACK:01 SECTOR:02 SIZE:0200\n");
    if (OnWindows()) {
        EXPECT_EQ(result.err,
                  "d88ext8: disk 0: \"\\xB6\\x01/\\\"\\\\\": written as \"\\xB6____\"\n");
        EXPECT_EQ(Files(), (std::map<std::string, Bytes>{{"\xB6____", SectorRun(10, 1)}}));
    } else {
        EXPECT_EQ(result.err,
                  "d88ext8: disk 0: \"\\xB6\\x01/\\\"\\\\\": written as \"\\xB6\\x01_\\\"\\\\\"\n");
        EXPECT_EQ(Files(), (std::map<std::string, Bytes>{{"\xB6\x01_\"\\", SectorRun(10, 1)}}));
    }
}

// Windows: reserved characters, control bytes, device names and a trailing
// dot are rewritten, each with a warning; nothing is written as a device.
TEST_F(ProgramTest, WindowsNamesAreRewritten) {
    if (!OnWindows()) GTEST_SKIP() << "the Windows build's rules";
    Disk disk = StandardDisk(4);
    WriteDirectory(disk, 9,
                   {{"A<B>C", 10, 1},
                    {"C:\\X", 11, 1},
                    {"Q?*|\"", 12, 1},
                    {"\x01\x1F", 13, 1},
                    {"con", 14, 1},
                    {"NUL.X", 15, 1},
                    {"LPT1", 16, 1},
                    {"COM1", 17, 1},
                    {"com9", 18, 1},
                    {"END.", 19, 1},
                    {"/", 20, 1},
                    {"..", 21, 1},
                    {"PLAIN", 22, 1}});
    const auto result = Run(kExt6, disk);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err,
              "d88ext6: disk 0: \"A<B>C\": written as \"A_B_C\"\n"
              "d88ext6: disk 0: \"C:\\\\X\": written as \"C__X\"\n"
              "d88ext6: disk 0: \"Q?*|\\\"\": written as \"Q____\"\n"
              "d88ext6: disk 0: \"\\x01\\x1F\": written as \"__\"\n"
              "d88ext6: disk 0: \"con\": written as \"_con\"\n"
              "d88ext6: disk 0: \"NUL.X\": written as \"_NUL.X\"\n"
              "d88ext6: disk 0: \"LPT1\": written as \"_LPT1\"\n"
              "d88ext6: disk 0: \"com9\": written as \"_com9\"\n"
              "d88ext6: disk 0: \"END.\": written as \"END_\"\n"
              "d88ext6: disk 0: \"/\": written as \"_\"\n"
              "d88ext6: disk 0: \"..\": not usable as a file name; not written\n"
              "d88ext6: 1 file could not be written\n");
    EXPECT_EQ(Files(), (std::map<std::string, Bytes>{{"A_B_C", SectorRun(10, 1)},
                                                     {"C__X", SectorRun(11, 1)},
                                                     {"Q____", SectorRun(12, 1)},
                                                     {"__", SectorRun(13, 1)},
                                                     {"_con", SectorRun(14, 1)},
                                                     {"_NUL.X", SectorRun(15, 1)},
                                                     {"_LPT1", SectorRun(16, 1)},
                                                     {"_com9", SectorRun(18, 1)},
                                                     {"END_", SectorRun(19, 1)},
                                                     {"_", SectorRun(20, 1)},
                                                     {"PLAIN", SectorRun(22, 1)}}));
}
