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
