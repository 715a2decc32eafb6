// Drives a whole run on arbitrary bytes: open the image, walk every disk,
// read and scan each directory in both layouts and extract into a scratch
// folder, which is emptied after every input.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "extract/extractor.h"
#include "scratch.h"

namespace {

std::string g_image;
std::FILE* g_null = nullptr;

void EmptyFolder(const char* folder) {
    DIR* dir = opendir(folder);
    if (dir == nullptr) std::abort();
    while (dirent* item = readdir(dir)) {
        if (std::strcmp(item->d_name, ".") != 0 && std::strcmp(item->d_name, "..") != 0) {
            unlink(item->d_name);
        }
    }
    closedir(dir);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string folder = fuzzing::ScratchBase() + "/d88fuzz-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) std::abort();
    g_image = folder + ".d88";
    fuzzing::RemoveAtExit(folder);
    fuzzing::RemoveAtExit(g_image);
    if (chdir(folder.c_str()) != 0) std::abort();
    g_null = std::fopen("/dev/null", "w");
    if (g_null == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::WriteInput(g_image, data, size);

    char name8[] = "d88ext8";
    char name6[] = "d88ext6";
    char* argv8[] = {name8, g_image.data(), nullptr};
    char* argv6[] = {name6, g_image.data(), nullptr};
    const extract::ProgramConfig ext8{"d88ext8", extract::Layout11, false, false};
    const extract::ProgramConfig ext6{"d88ext6", extract::Layout9, true, false};
    if (extract::RunProgram(2, argv8, ext8, g_null, g_null) == 1) std::abort();
    if (extract::RunProgram(2, argv6, ext6, g_null, g_null) == 1) std::abort();
    EmptyFolder(".");
    return 0;
}
