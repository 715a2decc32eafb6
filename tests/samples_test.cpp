// The sample images in samples/: made by the image builder, and extracted
// exactly as the expected listings in tests/expected/ say.
#include <fstream>
#include <iterator>

#include "program_fixture.h"
#include "samples.h"

namespace {

const std::string kSource = D88_SOURCE_DIR;

std::string Text(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    EXPECT_TRUE(f) << path;
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(Samples, CheckedInImagesAreWhatTheBuilderMakes) {
    EXPECT_EQ(testimg::ReadFile(kSource + "/samples/sample8.d88"), testimg::Sample8())
        << "run: make_samples samples";
    EXPECT_EQ(testimg::ReadFile(kSource + "/samples/sample6.d88"), testimg::Sample6())
        << "run: make_samples samples";
}

TEST_F(ProgramTest, SampleImagesGiveTheExpectedListings) {
    for (const Flavour* flavour : {&kExt8, &kExt6}) {
        const std::string stem = flavour->entrySize == 11 ? "sample8" : "sample6";
        FreshWork();
        const auto result =
            testimg::RunProgram(flavour->path, {kSource + "/samples/" + stem + ".d88"}, work);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, Text(kSource + "/tests/expected/" + stem + ".stdout"));
        EXPECT_EQ(result.err, Text(kSource + "/tests/expected/" + stem + ".stderr"));
        std::string listing;
        for (const auto& [name, bytes] : Files()) {
            listing += name + " " + std::to_string(bytes.size()) + "\n";
        }
        EXPECT_EQ(listing, Text(kSource + "/tests/expected/" + stem + ".files"));
    }
}
