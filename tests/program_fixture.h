// Runs d88ext8 and d88ext6 on built images in a fresh working folder.
#ifndef TESTS_PROGRAM_FIXTURE_H
#define TESTS_PROGRAM_FIXTURE_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "image_builder.h"
#include "run_program.h"
#include "temp_dir.h"

// "ファイルをオープンできません" (the file cannot be opened) and a line feed,
// in Shift_JIS.
inline const std::string kOpenFailure =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93"
    "\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\n";

// One program, its entry size, and where the build under test has it.
struct Flavour {
    const char* program;
    int entrySize;
    std::string path;
};

inline std::string ProgramPath(const char* variable, const char* built) {
    const char* path = std::getenv(variable);
    return path != nullptr ? path : built;
}

inline const Flavour kExt8{"d88ext8", 11, ProgramPath("D88_TEST_EXT8", D88EXT8_PATH)};
inline const Flavour kExt6{"d88ext6", 9, ProgramPath("D88_TEST_EXT6", D88EXT6_PATH)};

inline bool OnWindows() { return testimg::TestTarget().windows; }

class ProgramTest : public ::testing::Test {
protected:
    // root/ holds the image and root/work/ is the working folder, so that
    // the files in work/ are exactly what the program wrote.
    testimg::TempDir root;
    std::filesystem::path work = root.path() / "work";

    void SetUp() override { std::filesystem::create_directory(work); }

    // Empties the working folder between runs of one test.
    void FreshWork() {
        std::filesystem::remove_all(work);
        std::filesystem::create_directory(work);
    }

    testimg::RunResult Run(const Flavour& flavour, const testimg::Bytes& image) {
        const std::string path = root.File("image.d88");
        EXPECT_TRUE(testimg::WriteFile(path, image));
        return testimg::RunProgram(flavour.path, {path}, work);
    }

    testimg::RunResult Run(const Flavour& flavour, const testimg::Disk& disk) {
        return Run(flavour, testimg::BuildDisk(disk));
    }

    std::map<std::string, testimg::Bytes> Files() const { return testimg::FilesIn(work); }
};

// Bytes of logical sectors first .. first + count - 1 of a standard disk.
inline testimg::Bytes SectorRun(int first, int count) {
    testimg::Bytes out;
    for (int lsn = first; lsn < first + count; lsn++) {
        const testimg::Bytes one = testimg::SectorData(lsn);
        out.insert(out.end(), one.begin(), one.end());
    }
    return out;
}

#endif
