// Opens images built in memory through a file in a temporary folder.
#ifndef TESTS_READER_FIXTURE_H
#define TESTS_READER_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "d88/d88image.h"
#include "image_builder.h"
#include "temp_dir.h"

class ReaderTest : public ::testing::Test {
protected:
    // The reader carries its track index inside it and is too large for a
    // test's stack.
    std::unique_ptr<d88::D88Image> image = std::make_unique<d88::D88Image>();
    testimg::TempDir dir;

    std::string Write(const testimg::Bytes& bytes, const std::string& name = "image.d88") {
        const std::string path = dir.File(name);
        EXPECT_TRUE(testimg::WriteFile(path, bytes));
        return path;
    }

    void OpenBytes(const testimg::Bytes& bytes) { ASSERT_TRUE(image->Open(Write(bytes).c_str())); }

    void OpenAndSelect(const testimg::Disk& disk) {
        OpenBytes(testimg::BuildDisk(disk));
        ASSERT_TRUE(image->SelectDisk(0));
    }
};

#endif
